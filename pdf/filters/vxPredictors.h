// PNG and TIFF row predictors with one byte per pixel, as cross-reference
// streams use them.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "pdf/parsers/vxClasses.h"

namespace vx {

// Paeth's predictor of a byte from its left, upper and upper-left neighbours.
int PaethPredictor(int a, int b, int c);

// Undoes the PNG row filters of `data`: rows of `columns` + 1 bytes, a tag
// byte (0 None, 1 Sub, 2 Up, 3 Average, 4 Paeth) then `columns` bytes, the
// first row predicted against a row of zeros. Answers a new stream, at 0,
// holding the decoded rows without their tags.
//
// A final row shorter than columns + 1 bytes is decoded with the bytes it has
// (a row of only its tag adds nothing); so no data is lost. `columns` of 0 or
// less describes no row at all and answers an empty stream.
//
// A tag above 4 raises EImproperPNGAlgorithm "Improper PNG algorithm tag in
// stream".
std::unique_ptr<TvxMemoryStream> DecodePngRows(std::string_view data, int columns);
// The same, decoding `data` where it is (the rows are never longer decoded).
void DecodePngRowsInPlace(std::string& data, int columns);

// Undoes the TIFF predictor 2 over rows of `columns` bytes (one byte per
// pixel): each byte is stored as its difference from the one to its left.
// A short final row is decoded with the bytes it has.
std::unique_ptr<TvxMemoryStream> DecodeTiffRows(std::string_view data, int columns);

}  // namespace vx
