// The picture of an outcome map: one cell per point, coloured by how the test
// ended and darker the longer it ran, with the axes' names, ticks and values
// and a legend drawn in.
#pragma once

#include "maps/map_outcome.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tb {

// How one point of a map ended, as the picture needs it.
// What a verified map marks in a cell: the fixed step's outcome is an
// artefact of the step size, or the point lies on a chaotic boundary (fragile)
// or the reference could not decide.
enum class MapMark : uint8_t { None, Artefact, Fragile };

struct MapCell {
  MapOutcome outcome = MapOutcome::notYet();
  int64_t steps = 0; // how long the test ran
  MapMark mark = MapMark::None;
};

struct MapPicture {
  int columns = 0, rows = 0;               // points along x and along y
  int cell = 4;                            // pixels a side of one point
  std::string xName, yName;                // the axes' field names
  std::vector<std::string> xTexts, yTexts; // each point's value as written in the outputs
  std::vector<MapCell> cells;              // row by row from y's first value, x fastest
  bool physical = false;                   // integrated by the reference: its legend's outcomes
};

// The values of an axis from start to end in `count` points, both ends
// included, and the shortest text that reads back as each value.
void axisPoints(double start, double end, int count, std::vector<double>& values,
                std::vector<std::string>& texts);

// A value's text as the picture's ticks show it: at most 9 characters,
// with fewer digits but its exponent kept when the text is longer.
std::string mapTickText(const std::string& text);

// The cell colour of an outcome (red in bits 0-7) for a test of `steps`
// steps in a map whose longest test ran `longest`.
uint32_t mapCellColour(MapOutcome outcome, int64_t steps, int64_t longest);

// The size in pixels of the picture of a map of columns x rows points.
void mapPictureSize(int64_t columns, int64_t rows, int cell, int64_t* width, int64_t* height);
// The whole picture, row by row; its size in *width and *height.
std::vector<uint32_t> drawMap(const MapPicture& map, int* width, int* height);
// Where cell (i, j) starts in that picture.
void mapCellOrigin(const MapPicture& map, int i, int j, int* x, int* y);
// The cell at pixel (x, y) of that picture; false outside the cells.
bool mapCellAt(const MapPicture& map, int x, int y, int* i, int* j);

} // namespace tb
