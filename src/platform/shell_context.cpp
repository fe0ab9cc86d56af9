#include "platform/shell_context.h"

#include "platform/resource_bound.h"

namespace tovrani {

ShellContext::ShellContext()
    : m_pOptGrid(&options.grid),
      m_pOptGuides(&options.guides),
      m_pOptRulers(&options.rulers),
      m_pOptTimeline(&options.timeline),
      m_pOptWorkArea(&options.workArea),
      m_pOptSnapToGrid(&options.snapToGrid),
      m_pOptSnapToGuides(&options.snapToGuides),
      m_pOptSnapToObjects(&options.snapToObjects),
      m_pOptSnapToPixels(&options.snapToPixels),
      m_pOptSound(&options.sound),
      m_pOptButton(&options.button),
      m_pOptFrameLabel(&options.frameLabel),
      m_pOptLinkage(&options.linkage),
      m_pOptMainTimeline(&options.mainTimeline),
      m_pOptMorphShape(&options.morphShape),
      m_pOptPicture(&options.picture),
      m_pOptShape(&options.shape),
      m_pOptSprite(&options.sprite),
      m_pOptText(&options.text),
      m_pOptVideo(&options.video),
      m_pOptShapeJsflImport(&options.shapeJsflImport),
      m_pOptExactProblemSearch(&options.exactProblemSearch),
      m_pOptHeuristicProblemSearch(&options.heuristicProblemSearch),
      m_pOptNoProblemSearch(&options.noProblemSearch),
      m_pOptCloserVectorization(&options.closerVectorization),
      m_pOptPictureFolder(&options.pictureFolder),
      m_pOptSoundFolder(&options.soundFolder),
      m_pOptVideoFolders(&options.videoFolders),
      m_pOptCollapseFolders(&options.collapseFolders),
      m_pOptTextJsflImport(&options.textJsflImport),
      m_pOptTextToTextfields(&options.textToTextfields),
      m_pOptTextBreakApart(&options.textBreakApart),
      m_pOptAskMissingFonts(&options.askMissingFonts),
      m_pOptSaveInNewFolder(&options.saveInNewFolder),
      m_pOptUseJsfl(&options.useJsfl),
      m_pOptApproximateMotionTweens(&options.approximateMotionTweens),
      m_pOptApproximateEasing(&options.approximateEasing) {}

bool ReadCancelRequest(ShellContext& ctx) {
  if (ctx.m_pShell && ctx.m_pShell->PumpMessages()) {
    // A cancel already in force when the loop ended keeps its frames.
    if (ctx.m_bTagLoopEnded && !ctx.m_bCancel) ctx.m_bAbandoned = 1;
    ctx.m_bCancel = 1;
  }
  // Past a bound on processor time or memory nothing more is written
  // either, but that is no cancel: the conversion fails.
  return ctx.m_bAbandoned != 0 || ResourceLook();
}

}  // namespace tovrani
