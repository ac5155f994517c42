/* Ornivex: reads and writes MP4 files (ISO base media file format with
 * MPEG-4 Visual, AAC, H.263 and AMR sample entries) through plain C calls.
 *
 * Every call uses the standard-call convention on 32-bit Windows, where the
 * DLL exports each one under its decorated name (_MP4FileOpen@8). Status
 * codes are signed 32-bit integers; 1 means success. */
#ifndef ORNIVEX_H
#define ORNIVEX_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define ORNIVEX_CALL __stdcall
#else
#define ORNIVEX_CALL
#endif

/* The Windows DLL exports through its module-definition file; elsewhere the
 * library hides everything but the calls declared here. */
#if !defined(_WIN32) && defined(ORNIVEX_BUILD)
#define ORNIVEX_API __attribute__((visibility("default")))
#else
#define ORNIVEX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A file opened for reading; handed out by MP4FileOpen. */
typedef struct MP4_input_file MP4_input_file;
/* A file being written; handed out by MP4FileNew. */
typedef struct MP4_local_file MP4_local_file;

/* The summary that GetFileInfo fills: 24 unsigned 32-bit words. */
typedef struct FileInfo {
  uint32_t file_size;           /* 0: bytes in the file */
  uint32_t file_size_high;      /* 1: always 0 */
  uint32_t video_avg_bitrate;   /* 2: avgBitrate of the video esds */
  uint32_t video_max_bitrate;   /* 3: maxBitrate of the video esds */
  uint32_t video_profile_level; /* 4: profile_and_level_indication */
  uint32_t spare5;              /* 5: 0 */
  uint32_t video_height;        /* 6 */
  uint32_t video_width;         /* 7 */
  uint32_t video_frame_rate;    /* 8: samples x timescale / duration, truncated */
  uint32_t video_sample_count;  /* 9 */
  uint32_t audio_sample_count;  /* 10 */
  uint32_t audio_is_mpeg1;      /* 11: 1 for MPEG-1/2 audio */
  uint32_t audio_channel_mode;  /* 12: MPEG-1/2 audio: mode of the first frame */
  uint32_t audio_sample_rate;   /* 13: Hz */
  uint32_t audio_avg_bitrate;   /* 14 */
  uint32_t audio_max_bitrate;   /* 15 */
  uint32_t audio_profile;       /* 16: audio object type minus 1 */
  uint32_t audio_channels;      /* 17 */
  uint32_t constant_one;        /* 18: always 1 with an audio track */
  uint32_t audio_object_type;   /* 19 */
  uint32_t audio_channels_copy; /* 20: same as word 17 */
  uint32_t spare21;             /* 21: 0 */
  uint32_t spare22;             /* 22: 0 */
  uint32_t audio_emphasis;      /* 23: MPEG-1/2 audio: emphasis of the first frame */
} FileInfo;

/* Opens an MP4 file for reading: reads its atom tree and indexes its first
 * video and audio tracks. Stores the new record in *handle and returns 1,
 * or -99 on failure: then *handle holds a record with nothing open (null
 * only when no memory could be had), which MP4FileClose releases. A
 * directory, or a file that cannot be read, fails as a missing one does. */
ORNIVEX_API int32_t ORNIVEX_CALL MP4FileOpen(MP4_input_file** handle, const char* path);

/* Releases the record and everything it refers to, sets *handle to null
 * and returns 1. Every call answers a null handle as no file, so closing
 * again through the same variable, or closing after a failed open, is
 * harmless; a copy of the handle taken before the close must not be used
 * after it. */
ORNIVEX_API int32_t ORNIVEX_CALL MP4FileClose(MP4_input_file** handle);

/* Reading samples. Only the file's first video track and first audio track
 * (the lowest track IDs) can be read; each has a cursor, at sample 0 after
 * opening. Every block handed out belongs to the caller, who releases it
 * with MP4freeData. */

/* The sample at the track's cursor; the cursor moves on, also when the read
 * fails. 1 on success, -1 on any failure (end of track included). */
ORNIVEX_API int32_t ORNIVEX_CALL MP4GetNextSample(MP4_input_file* file, uint32_t trackId,
                                                  unsigned char** data, uint32_t* size,
                                                  uint32_t* time);

/* The sample at `time` (media timescale units): the last one that starts at
 * or before it. Moves the cursor behind it; returns its time stamp or -99. */
ORNIVEX_API int32_t ORNIVEX_CALL GetSample(MP4_input_file* file, uint32_t trackId, int32_t time,
                                           unsigned char** data, uint32_t* size);

/* As GetSample, but on the video track the key frame at or before `time`
 * (the first key frame for a time before it). */
ORNIVEX_API int32_t ORNIVEX_CALL SeekTrack(MP4_input_file* file, uint32_t trackId, int32_t time,
                                           unsigned char** data, uint32_t* size);

/* Releases a block handed out by this library and sets *data to null. */
ORNIVEX_API int32_t ORNIVEX_CALL MP4freeData(unsigned char** data);

/* Key frames of the video track, with one cursor for both directions. */
ORNIVEX_API int32_t ORNIVEX_CALL GoToBeginOfKeyFrame(MP4_input_file* file, uint32_t trackId);
ORNIVEX_API int32_t ORNIVEX_CALL GoToEndOfKeyFrame(MP4_input_file* file, uint32_t trackId);
/* The key frame at the cursor; the cursor moves forward (Next) or back
 * (Prev). 1, or -1 past either end or on failure. */
ORNIVEX_API int32_t ORNIVEX_CALL MP4NextKeyFrame(MP4_input_file* file, uint32_t trackId,
                                                 unsigned char** data, uint32_t* size);
ORNIVEX_API int32_t ORNIVEX_CALL MP4PrevKeyFrame(MP4_input_file* file, uint32_t trackId,
                                                 unsigned char** data, uint32_t* size);

/* Decoder configuration. GetM4vEsdsData and GetM4aEsdsData never write more
 * than ORNIVEX_ESDS_DATA_MAX bytes to `out`, which must have room for that
 * many; a configuration that is longer (or cut off by the end of the file)
 * is refused with -2 and nothing is written. */
#define ORNIVEX_ESDS_DATA_MAX 256

/* The video track's MPEG-4 Visual configuration header, from its video
 * object start code to the end of the video object layer header, with the
 * picture size. 1; 0 for a null `out`; -99 without a file, video track or
 * start code; -1 when the header does not parse; -2 as above. */
ORNIVEX_API int32_t ORNIVEX_CALL GetM4vEsdsData(MP4_input_file* file, unsigned char* out,
                                                uint32_t* width, uint32_t* height,
                                                uint32_t* length);

/* The audio track's whole esds atom, header included. 1; 0 for a null
 * `out`; -99 without a file or audio track; -2 as above. */
ORNIVEX_API int32_t ORNIVEX_CALL GetM4aEsdsData(MP4_input_file* file, unsigned char* out,
                                                uint32_t* length);

/* Opens the file at `path`, fills `info` and closes the file again. 1; -11
 * when the file cannot be read (missing, no permission, a directory), -12
 * for a null `info`, -21 when it is no MP4 file the library can open. The
 * audio words come from an AAC (MPEG-4 or MPEG-2) configuration or, for
 * MPEG-1/2 audio, from the first frame; for another codec only the sample
 * count, the bit rates and word 18 are filled, the rest stays 0. */
ORNIVEX_API int32_t ORNIVEX_CALL GetFileInfo(const char* path, FileInfo* info);

/* The length in bytes of the configuration headers at the start of a raw
 * MPEG-4 Visual stream (visual object sequence, visual object, video object
 * layer), measured on its first 500 bytes, with the picture size. -1 when
 * the file cannot be read or its headers are not supported; 0 when no
 * memory can be had. */
ORNIVEX_API int32_t ORNIVEX_CALL GetM4vHeaderSize(const char* path, uint32_t* width,
                                                  uint32_t* height);

/* Writing. A file is written in three stages: MP4FileNew creates it and
 * hands out its record; CreateTrack adds up to four tracks, video and audio
 * first, then the object descriptor and scene description tracks (their
 * single fixed sample depends on the media tracks that exist); AddVideoFrame
 * and AddAudioFrame append frames, whose bytes go to a temporary file per
 * media track; MP4FileFlush writes the whole file and releases the record.
 * Nothing is written to the output file before the flush. Failures are
 * described on the debugger output channel (standard error where there is no
 * debugger). */

/* Creates the file at `path` (at most 255 characters), truncating an
 * existing one, and a record for it in *file. 1; -99 on failure, with *file
 * set to null (an empty file created before the failure stays). */
ORNIVEX_API int32_t ORNIVEX_CALL MP4FileNew(MP4_local_file** file, const char* path);

/* Adds a track. `trackType`: 1 video, 2 audio, 4 object descriptor stream,
 * 5 scene description stream (3, hint, and anything else: -99). Track IDs
 * are given in creation order from 1; a rejected type or codec uses none. A
 * second track of a type replaces the first, which is discarded with its
 * frames and its temporary file.
 *
 * width, height, timeIncrementResolution: 16-bit values, each passed in a
 * 32-bit argument of which the low half is used. timeScale: the track's
 * media timescale, the unit of its frames' time stamps. profileLevel (video):
 * the MPEG-4 Visual profile_and_level_indication. audioProfile (audio): the
 * audio object type minus 1; channelConfig, sampleRate (Hz) (audio).
 * decoderConfig, decoderConfigLength (video, audio): the decoder
 * configuration, at most 52 bytes (a longer one is refused with -99), for
 * example an MPEG-4 Visual stream header or an ADTS header. tempFileName
 * (video, audio): the temporary file for the track's frames, created here
 * and deleted by the flush; the name is copied. A temporary file that cannot
 * be created fails the appends, not this call. codec (video, audio): 1 for
 * MPEG-4 (mp4v, mp4a), 2 for 3GPP (s263 H.263, samr AMR); anything else
 * -99. Returns 1 or -99; after -99 the record is as it was. */
ORNIVEX_API int32_t ORNIVEX_CALL CreateTrack(MP4_local_file* file, int32_t trackType,
                                             uint32_t width, uint32_t height,
                                             uint32_t timeIncrementResolution, uint32_t timeScale,
                                             uint32_t profileLevel, uint32_t audioProfile,
                                             uint32_t channelConfig, uint32_t sampleRate,
                                             uint32_t decoderConfigLength,
                                             const unsigned char* decoderConfig,
                                             const char* tempFileName, uint32_t codec);

/* Appends one frame of `size` bytes to the video track. timeStamp: its
 * decode time in the track's timescale; time stamps must not decrease.
 * keyFrame: 1 for a key frame (the first frame should be one), any other
 * value for none. Returns 1; -99 without a record or video track, without
 * data for a non-zero size, without a temporary file, when the track's
 * frames would pass 4 GiB - 1 bytes in all, or when no memory can be had:
 * the frame is then not recorded. -99 also when a write to the temporary
 * file fails (a full disk): frames reach it in pieces of a few hundred
 * kilobytes, so the call that sees the failure may be a later frame's, and
 * every call after it fails too; those frames stay recorded, and the flush
 * reports the shorter file. */
ORNIVEX_API int32_t ORNIVEX_CALL AddVideoFrame(MP4_local_file* file, uint32_t size,
                                               const unsigned char* data, uint32_t timeStamp,
                                               int32_t keyFrame);

/* The same for the audio track, where every frame is a key frame. */
ORNIVEX_API int32_t ORNIVEX_CALL AddAudioFrame(MP4_local_file* file, uint32_t size,
                                               const unsigned char* data, uint32_t timeStamp);

/* Writes the whole file: ftyp, moov with the sample tables of every track,
 * then mdat with the frames of the temporary files (deleted here) and the
 * object descriptor and scene samples. Releases the record on every path;
 * the handle must not be used again. 1; -99 for a null record, or when the
 * file could not be written whole (a temporary file missing or of another
 * length than its frames, a full disk, a track that could not be
 * described), after a message; the file then stays as far as it was
 * written. */
ORNIVEX_API int32_t ORNIVEX_CALL MP4FileFlush(MP4_local_file* file);

/* Merging. Each call writes a new file at `outPath` from one track of an
 * existing MP4 file and a raw stream: four tracks, video, audio, object
 * descriptor and scene description, which read back with MP4FileOpen and
 * can be merged again. The frames pass through the temporary files
 * "tempv.v" and "tempa.a" in the current directory, which must be
 * writable; they are gone when the call returns. Results of both:
 *    1  the new file was written
 *   -1  a required path is null, the output path is the path of an input
 *       (nothing is touched then), or the raw stream file cannot be opened
 *       or read; Mp4AddVideo: a frame rate that is not a finite number
 *       above 0 (nothing is touched then), or so low that a frame's time
 *       stamp passes 32 bits
 *  -11  the existing file does not open (MP4FileOpen fails)
 *  -12  the existing file's decoder configuration cannot be read or used:
 *       Mp4AddAudio, no MPEG-4 Visual video track, or its configuration is
 *       longer than the 52 bytes a track keeps; Mp4AddVideo, no AAC audio
 *       track
 *  -21  a sample of the existing file cannot be read
 *  -31  the raw stream is not acceptable: Mp4AddAudio, a bad first ADTS
 *       header or sampling index, or frames that do not fill the file
 *       exactly (a frame cut off, a frame_length shorter than its header,
 *       a lost sync word, several raw data blocks in a frame); Mp4AddVideo,
 *       a bad or missing MPEG-4 Visual header, a header longer than 52
 *       bytes, or no VOP start code
 *  -41  the output could not be written: it or a temporary file cannot be
 *       created, a write fails (a full disk), no memory can be had, or the
 *       frames pass the 32-bit sizes and time stamps of the file
 * On any failure neither the new file nor the temporary files stay. */

/* The video track of the MP4 file at `mp4Path` with the AAC frames of the
 * ADTS file at `adtsPath` (with or without CRC), each timed at 1024
 * samples. */
ORNIVEX_API int32_t ORNIVEX_CALL Mp4AddAudio(const char* mp4Path, const char* adtsPath,
                                             const char* outPath);

/* The audio track of the MP4 file at `mp4Path` with the raw MPEG-4 Visual
 * stream at `m4vPath`: its headers become the track's configuration, each
 * VOP a frame (a key frame when intra coded) timed at frame rate
 * `frameRate` in milliseconds, truncated. */
ORNIVEX_API int32_t ORNIVEX_CALL Mp4AddVideo(const char* mp4Path, const char* m4vPath,
                                             const char* outPath, float frameRate);

#ifdef __cplusplus
}
#endif

#endif /* ORNIVEX_H */
