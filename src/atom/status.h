// The one status type of the library's internals. The numbers that hosts
// see are chosen at the export boundary (src/exports), nowhere else.
#ifndef ORNIVEX_ATOM_STATUS_H
#define ORNIVEX_ATOM_STATUS_H

// [[nodiscard]]: a result that is dropped must be dropped on purpose, with (void).
// The formatter misreads the attribute on an enum.
// clang-format off
enum class [[nodiscard]] Status {
  kOk,
  kNotFound,  // not there, not accepted, or a type not handled
  kEnd,       // past the last (or before the first) entry of a walk
  kFailed,    // the operation could not be done; a message said why
};
// clang-format on

inline bool Ok(Status s) {
  return s == Status::kOk;
}

#endif  // ORNIVEX_ATOM_STATUS_H
