/* A program built against the installed library: a summary of the file. */
#include <ornivex.h>
#include <stdio.h>

int main(int argc, char** argv) {
  FileInfo info;
  if (argc != 2 || GetFileInfo(argv[1], &info) != 1) return 1;
  printf("consumer: %ux%u, %u video and %u audio samples\n", info.video_width, info.video_height,
         info.video_sample_count, info.audio_sample_count);
  return 0;
}
