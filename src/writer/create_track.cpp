// CreateTrack's work: a TrackNode with its first table block, its skeleton
// trak with zero-filled bodies and, for video and audio, a temporary file.
#include <cstring>

#include "atom/atom_tree.h"
#include "atom/helpers.h"
#include "platform/report.h"
#include "writer/atom_template.h"
#include "writer/media_spool.h"
#include "writer/table_blocks.h"
#include "writer/writer.h"
#include "writer/writer_release.h"
#include "writer/writer_tree.h"

namespace {

bool IsMedia(uint32_t type) {
  return type == kTrackVideo || type == kTrackAudio;
}

// The lengths of the single object descriptor and scene description samples,
// which depend on the media tracks that exist (the flush writes their bytes).
uint32_t ObjectDescriptorSampleSize(const MP4_local_file& file) {
  return file.VideoTrackNode != nullptr && file.AudioTrackNode != nullptr ? 33 : 10;
}
uint32_t SceneSampleSize(const MP4_local_file& file) {
  const bool video = file.VideoTrackNode != nullptr, audio = file.AudioTrackNode != nullptr;
  if (video && audio) return 16;
  if (video) return 38;
  return audio ? 17 : 0;
}

void SetSingleSample(TrackNode* track, uint32_t size) {
  track->SampleTable[0] = SampleIndexEntry{0, 0, 0, size, 0};
  track->SampleCount = 1;
  track->KeyFrameTable[0] = KeyFrameEntry{0, 0};
  track->KeyFrameCount = 1;
}

// Arguments that no template or table could take; checked before a track ID
// is taken, as the track type is.
bool ArgumentsAccepted(const TrackParams& p) {
  const uint32_t type = static_cast<uint32_t>(p.track_type);
  if (type != kTrackVideo && type != kTrackAudio && type != kTrackObjectDescriptor &&
      type != kTrackScene) {
    Report("unsupport track type\n");
    return false;
  }
  if (!IsMedia(type)) return true;  // the remaining arguments are not used
  if (TrackTemplate(type, p.codec) == nullptr) {
    DebugReport("Can't create atom HierarchySubTree in CreateTrack(...) \n");
    return false;
  }
  if (p.decoder_config_length > kDecoderConfigMax ||
      (p.decoder_config_length > 0 && p.decoder_config == nullptr)) {
    DebugReport("Invalid decoder config length [%u] in CreateTrack(...) \n",
                p.decoder_config_length);
    return false;
  }
  return true;
}

// The record with its first block and its trak with bodies, or null after
// the message of the step that failed; a partly built track is released.
TrackNode* BuildTrack(MP4_local_file* file, const TrackParams& p) {
  const uint32_t type = static_cast<uint32_t>(p.track_type);
  TrackNode* track = static_cast<TrackNode*>(AllocZeroed(sizeof(TrackNode)));
  if (track == nullptr) {
    DebugReport("Can't allocate memory for TrackNode in CreateTrack(...) \n");
    return nullptr;
  }
  track->TrackID = file->next_track_id++;
  track->TrackType = type;
  track->Width = p.width;
  track->Height = p.height;
  track->TimeIncrementResolution = p.time_increment_resolution;
  track->TimeScale = p.time_scale;

  const int32_t capacity = IsMedia(type) ? kMediaBlockCapacity : kStreamBlockCapacity;
  if (!Ok(CreateSampleAndKeyFrameTable(&track, capacity))) {
    DebugReport("Can't create Sample and KeyFrame table in CreateTrack(...) \n");
    ReleaseTrackChain(track);
    return nullptr;
  }
  if (!Ok(CreateHierarchySubTree(&track->Trak, type, nullptr, nullptr, p.codec))) {
    DebugReport("Can't create atom HierarchySubTree in CreateTrack(...) \n");
    ReleaseTrackChain(track);
    return nullptr;
  }
  (void)CheckChildRules(track->Trak);  // the templates keep the rules: only diagnostics
  if (!Ok(AllocateSubtreeRecords(track->Trak)) || !EveryNodeHasRecord(track->Trak->first_child)) {
    DebugReport("Can't allocate atom subtree's realstructure in CreateTrack(...) \n");
    ReleaseTrackChain(track);
    return nullptr;
  }
  if (!Ok(AllocateNodeRecord(track->Trak))) {
    Report("atom[trak] allocate error\n");
    ReleaseTrackChain(track);
    return nullptr;
  }
  return track;
}

void InstallMediaTrack(MP4_local_file* file, TrackNode* track, const TrackParams& p) {
  const bool video = track->TrackType == kTrackVideo;
  const MediaSpool spool = video ? VideoSpool(file) : AudioSpool(file);
  ReleaseSpoolTrack(spool);  // a track of the same type is replaced
  *spool.track = track;
  if (p.decoder_config_length > 0)
    std::memcpy(track->DecoderConfig, p.decoder_config, p.decoder_config_length);
  track->DecoderConfigLength = p.decoder_config_length;
  if (video) {
    track->VideoTrackID = track->TrackID;
    track->ProfileLevel = p.profile_level;
  } else {
    track->AudioProfile = p.audio_profile;
    track->ChannelConfig = p.channel_config;
    track->SampleRate = p.sample_rate;
    track->AudioTrackID = track->TrackID;
  }
  OpenSpoolFile(spool, p.temp_file_name);
}

void InstallStreamTrack(MP4_local_file* file, TrackNode* track) {
  const bool od = track->TrackType == kTrackObjectDescriptor;
  TrackNode** slot = od ? &file->od_track : &file->scene_track;
  ReleaseTrackChain(*slot);  // a track of the same type is replaced
  SetSingleSample(track, od ? ObjectDescriptorSampleSize(*file) : SceneSampleSize(*file));
  *slot = track;
}

}  // namespace

Status CreateWriterTrack(MP4_local_file* file, const TrackParams& params) {
  if (file == nullptr) {
    DebugReport("the input parameter for MP4_local_file is empty\n");
    return Status::kFailed;
  }
  if (!ArgumentsAccepted(params)) return Status::kFailed;
  TrackNode* track = BuildTrack(file, params);
  if (track == nullptr) return Status::kFailed;
  if (IsMedia(track->TrackType))
    InstallMediaTrack(file, track, params);
  else
    InstallStreamTrack(file, track);
  return Status::kOk;
}
