# What every Wine run of the tests shares.

# The throwaway prefix, no debug channels, and no Mono or Gecko installer
# (a prefix made without them starts in seconds).
macro(use_wine_prefix prefix)
  set(ENV{WINEPREFIX} "${prefix}")
  set(ENV{WINEDEBUG} "-all")
  set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=d")
endmacro()

# How a Windows program names an absolute Linux path: on drive Z:, which
# maps the root, with backslashes.
function(windows_path path out)
  string(REPLACE "/" "\\" p "${path}")
  set(${out} "Z:${p}" PARENT_SCOPE)
endfunction()
