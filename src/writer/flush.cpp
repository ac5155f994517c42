// MP4FileFlush's work, in order: merge, size each track, finish the movie,
// write it, release everything.
#include "writer/flush.h"

#include <cstdio>

#include "atom/helpers.h"
#include "platform/report.h"
#include "serialise/atom_serialiser.h"
#include "serialise/system_samples.h"
#include "writer/media_spool.h"
#include "writer/writer_release.h"

namespace {

// The object descriptor track lists the media tracks. Its sample, and the
// scene track's, are the bytes for the media tracks that exist now, whatever
// existed when they were made, and their recorded sizes follow suit.
void PrepareSystemTracks(MP4_local_file* file) {
  TrackNode* od = file->od_track;
  TrackNode* scene = file->scene_track;
  uint32_t length = 0;
  if (od != nullptr) {
    if (file->VideoTrackNode != nullptr) od->VideoTrackID = file->VideoTrackNode->TrackID;
    if (file->AudioTrackNode != nullptr) od->AudioTrackID = file->AudioTrackNode->TrackID;
    (void)ObjectDescriptorSample(file, &length);  // the length is what is needed
    if (od->SampleCount > 0 && od->SampleTable != nullptr) od->SampleTable[0].size = length;
  }
  if (scene != nullptr) {
    (void)SceneSample(file, &length);  // as above
    if (scene->SampleCount > 0 && scene->SampleTable != nullptr)
      scene->SampleTable[0].size = length;
  }
}

void Note(Status step, Status* result) {
  if (!Ok(step)) *result = Status::kFailed;
}

}  // namespace

Status FillTrackAtoms(TrackNode* track) {
  if (track == nullptr) {
    DebugReport("The input TrackNode is empty\n");
    return Status::kFailed;
  }
  if (track->Trak == nullptr || !IsAtomType(track->Trak->type, "trak")) {
    DebugReport("This atom is not a track atom\n");
    return Status::kFailed;
  }
  uint32_t size = 0;
  return SizeTrackAtom(track->Trak, track, &size);
}

Status FlushWriterFile(MP4_local_file* file) {
  Status result = Status::kOk;
  MergeTrackBlocks(&file->VideoTrackNode);
  CloseSpoolFile(&file->video_temp, &file->video_temp_buffer);
  MergeTrackBlocks(&file->AudioTrackNode);
  CloseSpoolFile(&file->audio_temp, &file->audio_temp_buffer);
  PrepareSystemTracks(file);

  if (file->VideoTrackNode != nullptr) Note(FillTrackAtoms(file->VideoTrackNode), &result);
  if (file->AudioTrackNode != nullptr) Note(FillTrackAtoms(file->AudioTrackNode), &result);
  // without a media track the system tracks describe nothing and stay out
  if (SystemTrackIncluded(file, file->od_track)) Note(FillTrackAtoms(file->od_track), &result);
  if (SystemTrackIncluded(file, file->scene_track))
    Note(FillTrackAtoms(file->scene_track), &result);

  if (file->root != nullptr) {
    // a movie that cannot be finished is still written as far as it goes
    Note(FinaliseMovie(file->root, file), &result);
  } else {
    result = Status::kFailed;
  }
  Note(WriteMovieFile(file), &result);
  ReleaseWriterFile(file);
  return result;
}
