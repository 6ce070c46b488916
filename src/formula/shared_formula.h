// Shared formulas: one SHRFMLA token stream serves a block of cells; each cell that uses it gets
// its own copy with the relative references resolved to absolute positions.
#pragma once

#include <cstdint>

namespace xls {

// Rewrites `length` bytes of tokens in place for the cell at (row, col), 0-based: every relative
// reference token (0x2C/0x2D and their class variants) becomes the plain reference token of the
// same class holding the resolved row and column; the relative flags stay set. isBiff8 selects the
// BIFF8 token layouts, else the BIFF5/7 ones. Raises "Unknown ptg[%.2X] in Shared Formula" on a
// token it cannot size and a clean error when a token runs past the end of the stream; tokens
// before the failing one may already be rewritten.
void ExpandSharedFormula(bool isBiff8, uint8_t* tokens, int length, int row, int col);

// The size in bytes of the token at tokens[0] (identifier included), or -1 for an identifier
// without a known size. `available` bytes may be read; a token whose size field lies beyond them
// raises.
int SharedFormulaTokenSize(bool isBiff8, const uint8_t* tokens, int available);

}  // namespace xls
