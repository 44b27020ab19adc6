#include "pdf/document/vxObjectStreamWriter.h"

#include <algorithm>
#include <charconv>

#include "pdf/objects/vxSignatureDictionary.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

bool IsWhite(unsigned char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f' || c == 0; }

bool IsDelimiter(unsigned char c) {
  return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' ||
         c == '/' || c == '%';
}

// A real as the serialiser writes it: optional sign, digits, a point, digits.
bool IsFixedReal(std::string_view token) {
  size_t i = (!token.empty() && (token[0] == '-' || token[0] == '+')) ? 1 : 0;
  size_t point = std::string_view::npos;
  for (; i < token.size(); ++i) {
    if (token[i] == '.') {
      if (point != std::string_view::npos) return false;
      point = i;
    } else if (token[i] < '0' || token[i] > '9') {
      return false;
    }
  }
  return point != std::string_view::npos && point + 1 < token.size();
}

int BytesFor(uint64_t value) {
  int bytes = 1;
  while (bytes < 8 && (value >> (8 * bytes)) != 0) ++bytes;
  return bytes;
}

void AppendBigEndian(std::string& out, uint64_t value, int width) {
  for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) out += char((value >> shift) & 0xFF);
}

}  // namespace

bool MayPackInObjectStream(const TvxPDFObject* content, uint16_t writtenGeneration) {
  if (writtenGeneration != 0) return false;
  if (!content) return true;  // written as null
  if (content->IsStream()) return false;
  auto* dict = As<TvxPDFDictObject>(content);
  if (!dict) return true;
  // Signed or not yet signed: a signature field's value stays a file object.
  if (IsSignatureDictionary(*dict)) return false;
  // The first /Type decides, as a lookup would; scanning leaves the
  // dictionary untouched while stream workers read the document.
  for (const auto& e : dict->Entries()) {
    if (std::string_view(e.Key) != "/Type") continue;
    auto* type = As<TvxPDFNameObject>(e.Value.get());
    return !(type && (type->Text == "/Sig" || type->Text == "/DocTimeStamp"));
  }
  return true;
}

std::string CompactObjectText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendCompactObjectText(out, text);
  return out;
}

void AppendCompactObjectText(std::string& out, std::string_view text) {
  const size_t base = out.size();
  bool commentOpen = false;  // a comment runs to the line's end: keep that end
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    const unsigned char c = text[i];
    if (IsWhite(c)) {
      while (i < n && IsWhite(text[i])) ++i;
      if (commentOpen) {
        out += '\n';
        commentOpen = false;
      } else if (out.size() > base && i < n) {
        out += ' ';
      }
      continue;
    }
    if (c == '(') {
      // A literal string goes over as it is, escapes and nested parentheses
      // included.
      size_t start = i++;
      int depth = 1;
      while (i < n && depth > 0) {
        if (text[i] == '\\') {
          i += 2;
          continue;
        }
        if (text[i] == '(') ++depth;
        if (text[i] == ')') --depth;
        ++i;
      }
      if (i > n) i = n;
      out.append(text.substr(start, i - start));
      continue;
    }
    if (c == '<' && i + 1 < n && text[i + 1] == '<') {
      out += "<<";
      i += 2;
      continue;
    }
    if (c == '<') {
      size_t end = text.find('>', i);
      end = end == std::string_view::npos ? n : end + 1;
      out.append(text.substr(i, end - i));
      i = end;
      continue;
    }
    if (c == '%') commentOpen = true;
    if (IsDelimiter(c) && c != '/') {
      out += char(c);
      ++i;
      continue;
    }
    // A name (from its slash) or a word: up to the next white space or
    // delimiter.
    size_t start = i++;
    while (i < n && !IsWhite(text[i]) && !IsDelimiter(text[i])) ++i;
    std::string_view token = text.substr(start, i - start);
    if (token.find('%') != std::string_view::npos) commentOpen = true;
    if (token[0] != '/' && IsFixedReal(token)) {
      size_t keep = token.size();
      while (token[keep - 1] == '0' && token[keep - 2] != '.') --keep;
      token = token.substr(0, keep);
    }
    out.append(token);
  }
}

void TvxObjectStreamBuilder::Add(int32_t number, std::string_view text) {
  numbers_.push_back(number);
  if (!compactNow_) {
    texts_ += text;
    marks_.push_back(texts_.size());
    return;
  }
  // Members are parted by a space, so that two numbers never run together.
  if (!texts_.empty()) texts_ += ' ';
  marks_.push_back(texts_.size());
  AppendCompactObjectText(texts_, text);
}

std::string TvxObjectStreamBuilder::Build(int64_t& first) && {
  std::string data;
  if (compactNow_) {
    data = std::move(texts_);  // the members as they go in, each beginning at marks_[k]
  } else {
    // The members go into the buffer the stream's data is made in, with
    // room for the header in front (compacting never lengthens a text, and
    // a pair of numbers takes at most kPairRoom bytes); the texts are given
    // back before the header goes in.
    constexpr size_t kPairRoom = 32;
    data.reserve(texts_.size() + numbers_.size() * (kPairRoom + 1) + 1);
    size_t begin = 0;
    for (size_t& end : marks_) {
      if (!data.empty()) data += ' ';
      const size_t start = data.size();
      AppendCompactObjectText(data, std::string_view(texts_).substr(begin, end - begin));
      begin = end;
      end = start;
    }
    std::string().swap(texts_);
  }
  std::string header;
  for (size_t k = 0; k < numbers_.size(); ++k) {
    if (k) header += ' ';
    AppendInteger(header, numbers_[k]);
    header += ' ';
    AppendInteger(header, int64_t(marks_[k]));
  }
  header += '\n';
  first = int64_t(header.size());
  data.insert(0, header);
  return data;
}

TvxXRefStreamRows BuildXRefStreamRows(const std::vector<TvxObjectLocation>& locations,
                                      const std::vector<TvxNumberRange>& ranges, int leastWidth2, bool predict) {
  const std::vector<TvxNumberRange> all = {{0, locations.size()}};
  const std::vector<TvxNumberRange>& wanted = ranges.empty() ? all : ranges;
  TvxXRefStreamRows result;
  uint64_t largest2 = 0, largest3 = 0;
  size_t rows = 0;
  for (const TvxNumberRange& range : wanted) {
    rows += range.Count;
    for (size_t number = range.First; number < range.First + range.Count; ++number) {
      const TvxObjectLocation& l = locations.at(number);
      if (l.Offset() >= 0) {
        largest2 = std::max(largest2, uint64_t(l.Offset()));
      } else if (l.StreamNumber() > 0) {
        largest2 = std::max(largest2, uint64_t(l.StreamNumber()));
        largest3 = std::max(largest3, uint64_t(l.Index()));
      }
    }
  }
  result.Width2 = std::max(BytesFor(largest2), leastWidth2);
  result.Width3 = BytesFor(largest3);
  const size_t columns = size_t(result.Columns());

  // Each row is stored as its difference to the row above (PNG "Up", filter
  // byte 2): offsets that grow slowly and runs of one object stream number
  // become mostly zeros, which deflate packs well.
  std::string previous(columns, '\0');
  std::string row;
  result.Rows.reserve(rows * (columns + 1));
  for (const TvxNumberRange& range : wanted) {
    for (size_t number = range.First; number < range.First + range.Count; ++number) {
      const TvxObjectLocation& l = locations[number];
      row.clear();
      if (number != 0 && l.Offset() >= 0) {
        row += char(1);
        AppendBigEndian(row, uint64_t(l.Offset()), result.Width2);
        AppendBigEndian(row, 0, result.Width3);
      } else if (number != 0 && l.StreamNumber() > 0) {
        row += char(2);
        AppendBigEndian(row, uint64_t(l.StreamNumber()), result.Width2);
        AppendBigEndian(row, uint64_t(l.Index()), result.Width3);
      } else {
        row += char(0);  // free; object 0 heads the (empty) free list
        AppendBigEndian(row, 0, result.Width2);
        AppendBigEndian(row, 0, result.Width3);
      }
      if (!predict) {
        result.Rows += row;
        continue;
      }
      result.Rows += char(2);
      for (size_t k = 0; k < columns; ++k) result.Rows += char(uint8_t(row[k]) - uint8_t(previous[k]));
      previous.swap(row);
    }
  }
  return result;
}

}  // namespace vx
