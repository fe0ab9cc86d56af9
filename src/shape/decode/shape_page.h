// The page stream of one DefineShape: a page head, one shape object per set
// of SWF style arrays, each on a layer of its own, and the layer records
// that close them. The decoder hands each object's style tables and edge
// records to the page; the page patches the edge-record count fields, takes
// the shape-cache copy and closes the last layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "shape/decode/encoded_shape.h"
#include "shape/shape_context.h"

namespace tovrani {

class ShapePage {
 public:
  // `file` is an empty stream open for reading and writing; the page does
  // not own it.
  ShapePage(ShapeContext& ctx, std::FILE* file);

  // The page head and the first object's head.
  void Begin();
  // The open object's FillStyleTable and LineStyleTable (the style blob).
  // Notes their position in ShapeContext::m_nShapeHeadPos.
  void WriteStyleTables(std::span<const uint8_t> blob);
  // What the decoder hands over with an object's edge records (without end
  // byte): its record count, its single-sided flag and its StyleIndex.
  struct ObjectEdges {
    std::span<const uint8_t> edges;
    uint32_t recordCount = 0;
    bool singleSided = true;
    const StyleIndex* styles = nullptr;
  };
  // Ends the open object when a shape record brings new style arrays: the
  // object's layer is closed as "Layer n", its count field patched, and the
  // head of the next object written on a new layer.
  void EndObjectForNewStyles(const ObjectEdges& object);
  // Ends the last object and the shape. With the "Shape" option on
  // (m_bShapesOn) the last layer is closed as "ID itemNo" and the layer end
  // follows; the page is then complete. A one-object page without
  // transparency (noCache clear) is also copied into the shape cache.
  // Returns the last object's record count as written.
  uint32_t Finish(const ObjectEdges& object, bool noCache, uint16_t itemNo);

  // Objects are analysed whatever "No Problem Search" says (the morph
  // halves' pages).
  void AnalyseAlways() { analyseAlways_ = true; }

  // False once a write, seek or read of the work file failed.
  bool ok() const { return ok_ && !std::ferror(file_); }
  uint16_t layerNumber() const { return layerNumber_; }
  uint32_t objects() const { return objects_; }

 private:
  // The object's edge records go to the page, through the analysis the
  // driver handed in (m_pAnalyzeFillOverlaps) unless the object has none,
  // the "Shape" option is off or "No Problem Search" is on. Returns the
  // record count to patch.
  uint32_t WriteEdges(const ObjectEdges& object);
  void PatchCount(size_t countFieldPos, uint32_t recordCount);
  size_t Tell();

  ShapeContext& ctx_;
  std::FILE* file_;
  uint8_t level_;
  uint16_t layerNumber_ = 1;
  size_t countFieldPos_ = 0;  // 0 while the open object is the page's first
  size_t edgesStart_ = 0;
  std::vector<uint8_t> styleBlob_;  // the open object's style tables
  uint32_t objects_ = 0;
  bool ok_ = true;
  bool analyseAlways_ = false;
};

// Places the complete page held in `file` as the symbol stream of row
// m_nStreams (whose item number the caller has stored): size and start in
// the row, the bytes in the mini stream or the regular sectors, the symbol
// directory entry and the directory-order entry. The row, symbol and item
// counters stay for the caller to advance. False on a failure of the
// container's work files, which is then noted in m_nWriterError.
bool PlaceShapePage(ShapeContext& ctx, std::FILE* file);

}  // namespace tovrani
