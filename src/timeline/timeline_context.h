// The timeline builder's state: the display-list records of the main
// timeline, the events and hand-off tables the depth and mask-layer pass
// leaves, and what the pages it writes share.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "fla/class_tags.h"
#include "shape/decode/morph_shape.h"
#include "shape/shape_context.h"
#include "timeline/depth_handoff.h"
#include "timeline/depth_table.h"
#include "timeline/display_events.h"
#include "timeline/display_list.h"
#include "timeline/text_records.h"
#include "timeline/video_stream.h"

namespace tovrani {

struct TimelineContext : ShapeContext {
  // One row per DefineEditText, in tag order (the row its placements carry),
  // filled by the edit-text handler for the text-object writer.
  std::vector<EditTextRecord> m_pEditTexts;
  // The main timeline's display state, kept by the placement handlers and
  // read by the scene build.
  DepthLayerTable m_movieLayers;
  // Left by the depth and mask-layer pass: the main movie's and the last
  // sprite's display-list events and hand-off tables, and the main movie's
  // init-action and button-sound tables.
  std::vector<DisplayEvent> m_pMovieEvents;
  std::vector<DisplayEvent> m_pSpriteEvents;
  std::vector<DepthHandoff> m_pMovieLayerDepths;
  std::vector<DepthHandoff> m_pSpriteLayerDepths;
  std::vector<CharacterRestore> m_pMovieMaskDepths;
  std::vector<CharacterRestore> m_pSpriteMaskDepths;
  // The pass's work bound per timeline (tests lower it).
  uint64_t m_nMaskPassBudget = PassBudget::kDefaultUnits;
  std::vector<InitActionRecord> m_pInitActions;
  std::vector<ButtonSoundRecord> m_pButtonSounds;
  // The scene page's archive state (class indexes and object counts).
  PageClassState m_sceneClassState;
  // One row per DefineVideoStream.
  std::vector<VideoStreamRecord> m_pVideos;
  // The item numbers of the video wrapper symbols made so far.
  std::unordered_set<uint16_t> m_videoWrapperItems;
  // m_pInitActions by sprite id, for the table it was built from.
  mutable std::unordered_map<uint16_t, uint32_t> m_initActionIndex;
  mutable const InitActionRecord* m_initActionIndexOf = nullptr;
  mutable size_t m_initActionIndexRows = 0;
  // Buttons whose instances carry text: button id -> item number.
  std::unordered_map<uint16_t, uint16_t> m_pButtonItemMap;
  // The page being written is the scene page (set by the engine around the
  // scene build, cleared while an inner symbol page interrupts a page).
  uint8_t m_bSceneTimeline = 0, m_bPageFlag = 0;
  // Inner symbol pages open now, one inside the other.
  uint32_t m_nInnerPageLevel = 0;
  // One row per DefineText/DefineText2 (the row its placements carry), for
  // the text-object writer.
  std::vector<StaticTextRecord> m_pStaticTexts;
  // The morph table: entries [0, m_wMorphShapes) are complete; the morph
  // handler fills the next one.
  std::vector<MorphShapeEntry> m_pMorphShapes;
  uint16_t m_wMorphShapes = 0;
};

}  // namespace tovrani
