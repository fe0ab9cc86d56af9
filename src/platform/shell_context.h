// What every part of a conversion may read of the shell: its services, the
// options as the user set them, and the cancel flag.
//
// Options are read only through the pointers to their state bytes (non-zero
// = on), which point into `options` unless a caller redirects them.
#pragma once

#include <cstdint>

#include "platform/movie_messages.h"
#include "platform/shell_services.h"

namespace tovrani {

// The state bytes of the option items, with the program's defaults.
struct OptionStates {
  uint8_t grid = 0, guides = 1, rulers = 0, timeline = 1, workArea = 1;
  uint8_t snapToGrid = 0, snapToGuides = 1, snapToObjects = 1, snapToPixels = 0;
  uint8_t sound = 1, button = 1, frameLabel = 1, linkage = 1, mainTimeline = 1;
  uint8_t morphShape = 1, picture = 1, shape = 1, sprite = 1, text = 1, video = 1;
  uint8_t shapeJsflImport = 0;
  uint8_t exactProblemSearch = 0, heuristicProblemSearch = 1, noProblemSearch = 0;
  uint8_t closerVectorization = 0;
  uint8_t pictureFolder = 1, soundFolder = 1, videoFolders = 1, collapseFolders = 0;
  // "Static Text" radio group; "Convert All To Shapes" is none of these on.
  uint8_t textJsflImport = 0, textToTextfields = 0, textBreakApart = 0;
  uint8_t askMissingFonts = 0, saveInNewFolder = 0, useJsfl = 1;
  uint8_t approximateMotionTweens = 0, approximateEasing = 0;
  uint32_t approximation = 10;  // "MOTP", 0-100
};

struct ShellContext {
  ShellContext();
  ShellContext(const ShellContext&) = delete;
  ShellContext& operator=(const ShellContext&) = delete;

  ShellServices* m_pShell = nullptr;  // never null once a conversion runs
  // The messages of the movie being converted, by kind (movie_messages.h).
  MessageCounts m_messageCounts;
  OptionStates options;
  uint8_t* m_pOptGrid;
  uint8_t* m_pOptGuides;
  uint8_t* m_pOptRulers;
  uint8_t* m_pOptTimeline;
  uint8_t* m_pOptWorkArea;
  uint8_t* m_pOptSnapToGrid;
  uint8_t* m_pOptSnapToGuides;
  uint8_t* m_pOptSnapToObjects;
  uint8_t* m_pOptSnapToPixels;
  uint8_t* m_pOptSound;
  uint8_t* m_pOptButton;
  uint8_t* m_pOptFrameLabel;
  uint8_t* m_pOptLinkage;
  uint8_t* m_pOptMainTimeline;
  uint8_t* m_pOptMorphShape;
  uint8_t* m_pOptPicture;
  uint8_t* m_pOptShape;
  uint8_t* m_pOptSprite;
  uint8_t* m_pOptText;
  uint8_t* m_pOptVideo;
  uint8_t* m_pOptShapeJsflImport;
  uint8_t* m_pOptExactProblemSearch;
  uint8_t* m_pOptHeuristicProblemSearch;
  uint8_t* m_pOptNoProblemSearch;
  uint8_t* m_pOptCloserVectorization;
  uint8_t* m_pOptPictureFolder;
  uint8_t* m_pOptSoundFolder;
  uint8_t* m_pOptVideoFolders;
  uint8_t* m_pOptCollapseFolders;
  uint8_t* m_pOptTextJsflImport;
  uint8_t* m_pOptTextToTextfields;
  uint8_t* m_pOptTextBreakApart;
  uint8_t* m_pOptAskMissingFonts;
  uint8_t* m_pOptSaveInNewFolder;
  uint8_t* m_pOptUseJsfl;
  uint8_t* m_pOptApproximateMotionTweens;
  uint8_t* m_pOptApproximateEasing;
  uint8_t m_bCancel = 0;
  // The tag loop has met the movie's end: what follows finishes the document.
  uint8_t m_bTagLoopEnded = 0;
  // A cancel read once the tag loop had ended: the document is abandoned.
  uint8_t m_bAbandoned = 0;
};

// A conversion abandoned by a cancel: nothing of it is kept.
constexpr uint32_t kResultCancelled = 130;

// Reads the shell's cancel request between two steps of work. While the tag
// loop runs, a cancel ends the movie where it is and the frames done are
// still written; once the loop has ended, a cancel abandons the document.
// Also a look at the bounds on processor time and memory
// (platform/resource_bound.h). True when the document is abandoned or a
// bound was crossed: nothing more is written.
bool ReadCancelRequest(ShellContext& ctx);

}  // namespace tovrani
