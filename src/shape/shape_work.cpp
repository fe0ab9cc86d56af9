#include "shape/shape_work.h"

#include <string>

namespace tovrani {

namespace {

constexpr char kShapeWorkCaption[] = "BRASKELON Tovrani";

}  // namespace

void BeginShapeWork(ShapeContext& ctx, uint16_t tag, uint16_t id) {
  ctx.m_wShapeWorkTag = tag;
  ctx.m_wShapeWorkId = id;
  ctx.m_bShapeWorkRefused = 0;
}

uint64_t ShapeWorkLeft(const ShapeContext& ctx) { return ctx.m_budget.shapeWork.left(); }

bool TakeShapeWork(ShapeContext& ctx, uint64_t units) {
  Allowance& work = ctx.m_budget.shapeWork;
  if (units <= work.left()) return work.Take(units);
  RefuseShapeWork(ctx);
  return false;
}

void RefuseShapeWork(ShapeContext& ctx) {
  if (ctx.m_bShapeWorkRefused) return;
  ctx.m_bShapeWorkRefused = 1;
  Allowance& work = ctx.m_budget.shapeWork;
  work.RefuseRest();
  if (!work.FirstRefusal() || !ctx.m_pShell) return;
  const bool morph = ctx.m_wShapeWorkTag == 46 || ctx.m_wShapeWorkTag == 84;
  ctx.m_pShell->ShowMessage(kShapeWorkCaption,
                            std::string(ShapeTagName(ctx.m_wShapeWorkTag)) + " (character " +
                                std::to_string(ctx.m_wShapeWorkId) +
                                "): the movie asks for more shape analysis than its size allows; the " +
                                (morph ? "morph shape" : "shape") + " was written without the problem search.");
}

bool MayAnalyseShape(ShapeContext& ctx) {
  if (ctx.m_budget.shapeWork.left() > 0) return true;
  RefuseShapeWork(ctx);
  return false;
}

const char* ShapeTagName(uint16_t tag) {
  switch (tag) {
    case 22: return "DefineShape2";
    case 32: return "DefineShape3";
    case 83: return "DefineShape4";
    case 46: return "DefineMorphShape";
    case 84: return "DefineMorphShape2";
    default: return "DefineShape";
  }
}

}  // namespace tovrani
