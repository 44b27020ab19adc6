#include "pdf/parsers/vxPDFParsers.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>

#include "pdf/objects/vxSignatureDictionary.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxPDFUtils.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// Byte classes of the syntax. Form feed is deliberately not white-space.
// Looked up in a table: the loops that scan words and names test every byte
// of the file, and one load is cheaper than a chain of comparisons.
enum : uint8_t { kWhite = 1, kNameDelimiter = 2, kWordDelimiter = 4 };

constexpr std::array<uint8_t, 256> MakeByteClasses() {
  std::array<uint8_t, 256> classes{};
  for (int c : {0, 9, 10, 13, 32}) classes[size_t(c)] |= kWhite;
  for (char c : {'\t', '\n', '\r', ' ', '(', ')', '/', '<', '>', '[', ']'})
    classes[size_t(uint8_t(c))] |= kNameDelimiter | kWordDelimiter;
  classes[0] |= kWordDelimiter;
  return classes;
}
constexpr std::array<uint8_t, 256> kByteClasses = MakeByteClasses();

inline bool IsWhite(int c) { return kByteClasses[size_t(uint8_t(c))] & kWhite; }
inline bool IsNameDelimiter(int c) { return kByteClasses[size_t(uint8_t(c))] & kNameDelimiter; }
inline bool IsWordDelimiter(int c) { return kByteClasses[size_t(uint8_t(c))] & kWordDelimiter; }

constexpr std::string_view kEndStream = "endstream";

}  // namespace

// Counts nesting on the way into arrays, dictionaries and indirect objects.
class TvxPDFStreamReader::DepthGuard {
 public:
  explicit DepthGuard(int& depth) : depth_(depth) {
    if (++depth_ > kMaxNesting) {
      --depth_;
      throw ENestingTooDeep(Format(res::SNestingTooDeep, {kMaxNesting}));
    }
  }
  ~DepthGuard() { --depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

 private:
  int& depth_;
};

TvxPDFStreamReader::TvxPDFStreamReader(uint32_t documentID, TvxStream* source)
    : TvxRandomAccessFilter(source), DocumentID(documentID) {}

TvxPDFStreamReader::TvxPDFStreamReader(uint32_t documentID, std::shared_ptr<const std::string> bytes)
    : TvxRandomAccessFilter(std::move(bytes)), DocumentID(documentID) {}

TvxPDFStreamReader::TvxPDFStreamReader(uint32_t documentID, std::shared_ptr<TvxFileOnDemand> file)
    : TvxRandomAccessFilter(std::string_view()), DocumentID(documentID), file_(std::move(file)) {
  if (!file_) throw EInvalidStream(res::SInvalidStream);
}

void TvxPDFStreamReader::SetView(size_t end) {
  if (end == data_.size() && data_.data() == file_->Data()) return;
  data_ = std::string_view(file_->Data(), std::min(end, file_->Size()));
  pos_ = std::min(pos_, data_.size());
  // Words remembered may have been cut at the old end.
  for (WordSpan& w : wordCache_) w = WordSpan();
}

void TvxPDFStreamReader::Ensure(size_t at, size_t count) {
  if (!file_) return;
  const size_t end = file_->Ensure(at, count);
  if (end > data_.size()) SetView(end);
}

void TvxPDFStreamReader::ReadWhole() {
  if (!file_) return;
  file_->ReadAll();
  SetView(file_->Size());
}

std::string TvxPDFStreamReader::DescribeByte(int c) const {
  if (c < 0) return "end of data";
  return std::string(1, char(c));
}

// The scanning loops below work on a local position and write it back once:
// the byte loads could otherwise alias the member, which the compiler would
// then store on every byte.
void TvxPDFStreamReader::SkipWhitespace() {
  const char* const data = data_.data();
  const size_t size = data_.size();
  size_t pos = pos_;
  while (pos < size) {
    int c = (unsigned char)data[pos];
    if (IsWhite(c)) {
      ++pos;
    } else if (c == '%') {
      // A comment runs to the next CR or LF (or the end of the data).
      while (pos < size && data[pos] != '\r' && data[pos] != '\n') ++pos;
    } else {
      break;
    }
  }
  if (pos >= size) EndMet = true;
  pos_ = pos;
}

std::string_view TvxPDFStreamReader::ReadWord() {
  // The number rule reads three words and goes back over two of them, so the
  // same words are met again; the last few are remembered by position.
  const size_t start = pos_;
  for (const WordSpan& w : wordCache_) {
    if (w.start == start && w.next != 0) {
      pos_ = w.next;
      return data_.substr(start, w.end - start);
    }
  }
  const char* const data = data_.data();
  const size_t size = data_.size();
  size_t end = start;
  if (end < size) ++end;  // the first byte is taken whatever it is
  while (end < size && !IsWordDelimiter((unsigned char)data[end])) ++end;
  if (end >= size) EndMet = true;
  pos_ = end;
  SkipWhitespace();
  wordCache_[nextWordSlot_] = {start, end, pos_};
  nextWordSlot_ = (nextWordSlot_ + 1) % kWordCacheSize;
  return data_.substr(start, end - start);
}

std::string_view TvxPDFStreamReader::PeekWord() {
  SkipWhitespace();
  size_t start = pos_;
  size_t end = pos_;
  while (end < data_.size() && !IsNameDelimiter((unsigned char)data_[end])) ++end;
  if (end >= data_.size()) EndMet = true;
  return data_.substr(start, end - start);
}

TvxPDFObjectPtr TvxPDFStreamReader::ParseObject() {
  SkipWhitespace();
  int c = PeekChar();
  switch (c) {
    case '[': return ReadArray();
    case '(': return ReadStringObject();
    case '<':
      if (PeekAt(1) == '<') return ReadDictionary();
      return ReadStringObject();
    case '/': return ReadName();
    case 't': return ParseKeyword("true");
    case 'f': return ParseKeyword("false");
    case 'n': return ParseKeyword("null");
    case ')': case '>': case ']': case '}': return nullptr;
    default: return ParseWord();
  }
}

TvxPDFObjectPtr TvxPDFStreamReader::ParseKeyword(std::string_view expected) {
  std::string_view got = PeekView(expected.size());
  Skip(expected.size());
  if (got == expected) {
    if (expected == "null") return MakeNull();
    return MakeBoolean(expected == "true");
  }
  if (expected == "null") throw ENullObjectError(res::SNullObjectError);
  throw EBooleanError(Format(res::SBooleanError, {expected}));
}

TvxPDFObjectPtr TvxPDFStreamReader::ParseWord() {
  SkipWhitespace();
  std::string_view w1 = ReadWord();
  size_t afterW1 = pos_;
  std::string_view w2 = ReadWord();
  std::string_view w3 = ReadWord();

  if (w3 == "R") {
    int32_t number = StrToInt(w1);
    int32_t generation = StrToInt(w2);
    return std::make_unique<TvxPDFIndirectReference>(DocumentID, number, uint16_t(generation));
  }
  if (w3.size() == 3 && AsciiLower(w3) == "obj") {
    // Objects do not nest: a header within an object is where the next one
    // begins, so an object left open ends there instead of swallowing the
    // objects after it.
    if (depth_ > 0) throw Exception(Format(res::SObjectHeaderInsideObject, {w1, w2}));
    int32_t number = StrToInt(w1);
    int32_t generation = StrToInt(w2);
    DepthGuard guard(depth_);
    CurrentObjectNumber = number;
    CurrentGeneration = generation;
    TvxPDFObjectPtr inner = ParseObject();
    // The data may start on the keyword's own line ("stream72 720 Td"):
    // other readers take that as a stream too.
    const std::string_view next = PeekWord();
    if (next.starts_with("stream") && (next.size() == 6 || !IsAsciiLetter((unsigned char)next[6]))) {
      auto* dict = As<TvxPDFDictObject>(inner.get());
      if (!dict) throw EStreamReadError(res::SStreamReadError);
      inner.release();
      inner = std::make_unique<TvxPDFStreamObject>(std::unique_ptr<TvxPDFDictObject>(dict));
    }
    if (!inner) inner = MakeNull();  // "n 0 obj endobj": an empty object reads as null
    return std::make_unique<TvxPDFIndirectObject>(DocumentID, number, uint16_t(generation),
                                                  std::move(inner));
  }

  pos_ = afterW1;  // w2 and w3 are read again as objects of their own
  if (w1.find('.') != std::string_view::npos) {
    if (auto value = TryStrToFloat(w1)) return MakeReal(*value);
    return std::make_unique<TvxPDFStringObject>(std::string(w1));  // kept as it stands
  }
  if (auto value = TryStrToInt(w1)) return MakeInteger(*value);
  if (auto value = TryStrToInt64(w1)) return std::make_unique<TvxPDFInt64Object>(*value);
  throw EConvertError(Format(res::SInvalidInteger, {w1}));
}

std::unique_ptr<TvxPDFStringObject> TvxPDFStreamReader::ReadStringObject() {
  SkipWhitespace();
  int open = PeekChar();
  if (open != '(' && open != '<') throw EStringReadError(Format(res::SStringReadError, {DescribeByte(open)}));
  const bool hex = open == '<';
  const char close = hex ? '>' : ')';
  ++pos_;
  std::string content;
  int depth = 1;
  while (true) {
    if (pos_ >= data_.size()) {
      EndMet = true;
      throw EStringReadError(Format(res::SStringReadError, {DescribeByte(-1)}));
    }
    char c = data_[pos_++];
    if (c == '\\') {
      if (pos_ >= data_.size()) {
        EndMet = true;
        throw EStringReadError(Format(res::SStringReadError, {DescribeByte(-1)}));
      }
      char n = data_[pos_++];
      if (n == '\r' || n == '\n') {
        // A line continuation: the backslash and the end of line (CR LF
        // counts as one) go.
        if (n == '\r' && pos_ < data_.size() && data_[pos_] == '\n') ++pos_;
        continue;
      }
      content += c;
      content += n;
      continue;
    }
    if (c == '\r' && !hex) {
      // An end of line inside a literal string reads as one LF, whatever
      // its form.
      if (pos_ < data_.size() && data_[pos_] == '\n') ++pos_;
      content += '\n';
      continue;
    }
    if (c == char(open)) {
      ++depth;
    } else if (c == close) {
      if (--depth == 0) break;
    }
    content += c;
  }
  if (!hex) content = UnescapeLiteral(content);

  bool keepHex = hex;
  if (Decryptor) {
    if (CurrentObjectNumber == -1 && CurrentGeneration == -1) throw EInvalidObjectNo(res::SInvalidObjectNo);
    if (!content.empty()) {
      if (hex) content = HexToBytes(content);
      keepHex = false;
      Decrypt(content, CurrentObjectNumber, CurrentGeneration);
    }
  }
  std::string text;
  text.reserve(content.size() + 2);
  text += keepHex ? '<' : '(';
  text += content;
  text += keepHex ? '>' : ')';
  return std::make_unique<TvxPDFStringObject>(std::move(text), keepHex);
}

std::string_view TvxPDFStreamReader::ReadNameText() {
  SkipWhitespace();
  int c = PeekChar();
  if (c != '/') throw ENameReadError(Format(res::SNameReadError, {DescribeByte(c)}));
  const size_t start = pos_;
  const char* const data = data_.data();
  const size_t size = data_.size();
  size_t end = start + 1;
  while (end < size && !IsNameDelimiter((unsigned char)data[end])) ++end;
  if (end >= size) EndMet = true;
  pos_ = end;
  const std::string_view text = data_.substr(start, pos_ - start);
  if (pos_ < data_.size()) {
    char d = data_[pos_];
    if (d == 9 || d == 10 || d == 13 || d == 32) ++pos_;
  }
  return text;
}

std::unique_ptr<TvxPDFNameObject> TvxPDFStreamReader::ReadName() {
  return std::make_unique<TvxPDFNameObject>(ReadNameText());
}

std::unique_ptr<TvxPDFArrayObject> TvxPDFStreamReader::ReadArray() {
  SkipWhitespace();
  int c = PeekChar();
  if (c != '[') throw EArrayReadError(Format(res::SArrayReadError, {DescribeByte(c)}));
  DepthGuard guard(depth_);
  ++pos_;
  if (itemScratch_.size() < size_t(depth_)) itemScratch_.resize(size_t(depth_));
  std::vector<TvxPDFObjectPtr>& items = itemScratch_[size_t(depth_ - 1)];
  items.clear();
  while (true) {
    SkipWhitespace();
    if (pos_ >= data_.size()) {
      EndMet = true;
      items.clear();
      throw EArrayReadError(Format(res::SArrayReadError, {DescribeByte(-1)}));
    }
    TvxPDFObjectPtr item;
    try {
      item = ParseObject();
    } catch (...) {
      items.clear();
      throw;
    }
    if (!item) break;
    items.push_back(std::move(item));
    SkipWhitespace();
    if (PeekChar() == ']') break;
  }
  Skip(1);  // "]" (or the stray closing delimiter that ended the array)
  auto array = std::make_unique<TvxPDFArrayObject>();
  auto& arrayItems = array->Items();
  arrayItems.reserve(items.size());
  for (auto& item : items) arrayItems.push_back(std::move(item));
  items.clear();
  array->PackIfNumeric();
  return array;
}

void TvxDuplicateKeys::Note(std::string_view key) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto known = [key](const std::vector<std::string>& list) {
    return std::find(list.begin(), list.end(), key) != list.end();
  };
  if (known(keys_) || known(said_)) return;
  if (keys_.size() + said_.size() < kMaxKept)
    keys_.emplace_back(key);
  else
    ++more_;
}

std::vector<std::string> TvxDuplicateKeys::Take(size_t& more) {
  std::lock_guard<std::mutex> lock(mutex_);
  more = std::exchange(more_, 0);
  said_.insert(said_.end(), keys_.begin(), keys_.end());
  return std::exchange(keys_, {});
}

void TvxPDFStreamReader::KeepLastOfDuplicateKeys(std::vector<TvxPDFDictObject::Entry>& entries) {
  // Small dictionaries are compared pair by pair; large ones through a map
  // of first places, so that a hostile dictionary stays linear.
  constexpr size_t kScanUpTo = 16;
  std::vector<size_t> dropped;
  auto merge = [&](size_t first, size_t later) {
    entries[first].Value = std::move(entries[later].Value);
    dropped.push_back(later);
    if (DuplicateKeys) DuplicateKeys->Note(std::string_view(entries[later].Key));
  };
  if (entries.size() <= kScanUpTo) {
    for (size_t j = 1; j < entries.size(); ++j)
      for (size_t i = 0; i < j; ++i)
        if (entries[i].Value && std::string_view(entries[i].Key) == std::string_view(entries[j].Key)) {
          merge(i, j);
          break;
        }
  } else {
    std::unordered_map<std::string_view, size_t> firstPlace;
    for (size_t j = 0; j < entries.size(); ++j) {
      auto [it, added] = firstPlace.try_emplace(std::string_view(entries[j].Key), j);
      if (!added) merge(it->second, j);
    }
  }
  if (dropped.empty()) return;
  size_t kept = 0;
  for (size_t j = 0, d = 0; j < entries.size(); ++j) {
    if (d < dropped.size() && dropped[d] == j) {
      ++d;
      continue;
    }
    if (kept != j) entries[kept] = std::move(entries[j]);
    ++kept;
  }
  entries.resize(kept);
}

std::unique_ptr<TvxPDFDictObject> TvxPDFStreamReader::ReadDictionary() {
  SkipWhitespace();
  for (int i = 0; i < 2; ++i) {
    int c = ReadChar();
    if (c != '<') throw EDictionaryReadError(Format(res::SDictionaryReadError, {DescribeByte(c)}));
  }
  DepthGuard guard(depth_);
  if (entryScratch_.size() < size_t(depth_)) entryScratch_.resize(size_t(depth_));
  std::vector<TvxPDFDictObject::Entry>& entries = entryScratch_[size_t(depth_ - 1)];
  entries.clear();
  // Where each /Contents string starts, in case the dictionary turns out to
  // be a signature dictionary, whose /Contents is stored unencrypted.
  std::vector<std::pair<size_t, size_t>> contentsStrings;  // entry index, position
  try {
    while (true) {
      SkipWhitespace();
      if (PeekChar() == '>') {
        Skip(2);
        break;
      }
      const std::string_view key = ReadNameText();
      const size_t valueAt = pos_;
      TvxPDFObjectPtr value = ParseObject();
      // A key directly followed by the end of the dictionary gets null, which
      // reads and writes like an absent value without breaking lookups.
      if (!value) value = MakeNull();
      if (Decryptor && key == kSignatureContentsKey && value->ObjectType == otString)
        contentsStrings.emplace_back(entries.size(), valueAt);
      entries.push_back({key, std::move(value)});
    }
    if (!contentsStrings.empty() && IsSignatureDictionaryEntries(entries)) {
      for (const auto& [index, at] : contentsStrings) entries[index].Value = ReadRawStringAt(at);
    }
    KeepLastOfDuplicateKeys(entries);
  } catch (...) {
    entries.clear();
    throw;
  }
  TvxPDFDictObject::EntryList exact;
  exact.reserve(entries.size());
  for (auto& e : entries) exact.push_back(std::move(e));
  entries.clear();
  auto dict = std::make_unique<TvxPDFDictObject>();
  dict->AdoptEntries(std::move(exact));
  return dict;
}

std::unique_ptr<TvxPDFStringObject> TvxPDFStreamReader::ReadRawStringAt(size_t at) {
  const size_t resumeAt = pos_;
  TvxDecryptFunction decryptor = std::move(Decryptor);
  Decryptor = nullptr;
  std::unique_ptr<TvxPDFStringObject> raw;
  try {
    pos_ = at;
    raw = ReadStringObject();
  } catch (...) {
    Decryptor = std::move(decryptor);
    pos_ = resumeAt;
    throw;
  }
  Decryptor = std::move(decryptor);
  pos_ = resumeAt;
  return raw;
}

void TvxPDFStreamReader::Decrypt(std::string& bytes, int32_t objectNumber, int32_t generation) {
  if (Decryptor) Decryptor(bytes, objectNumber, generation);
}

std::unique_ptr<TvxMemoryStream> TvxPDFStreamReader::ReadStreamData(int64_t length, int32_t objectNumber,
                                                                    int32_t generation,
                                                                    const TvxPDFDictObject* dictionary) {
  SkipWhitespace();
  if (PeekView(6) != "stream") throw EStreamReadError(res::SStreamReadError);
  Skip(6);

  const size_t size = data_.size();
  auto endstreamAt = [&](size_t at) {
    if (at + kEndStream.size() > size) EndMet = true;
    return at <= size && data_.substr(at, kEndStream.size()) == kEndStream;
  };

  // Data begins after blanks, one CR and one LF.
  size_t s = pos_;
  while (s < size && (data_[s] == ' ' || data_[s] == '\t')) ++s;
  if (s < size && data_[s] == '\r') ++s;
  if (s < size && data_[s] == '\n') ++s;

  int64_t len = std::max<int64_t>(length, 0);
  // Data, "endstream" and the blanks before it within the bytes seen, or
  // the result may be that of the bytes seen only.
  if (uint64_t(s) + uint64_t(len) + 64 >= size) EndMet = true;
  bool found = false;
  if (len == 0) {
    // Trust a zero length only when "endstream" really follows; otherwise
    // fall through to the search so that the data is not lost.
    pos_ = s;
    SkipWhitespace();
    found = endstreamAt(pos_);
  }
  if (!found) {
    if (uint64_t(s) + uint64_t(len) <= size) {
      pos_ = s + size_t(len);
      SkipWhitespace();
      found = endstreamAt(pos_);
    }
  }
  if (!found) {
    // Backwards from S + L - 1 (positions past the data cannot match), while
    // the nine bytes still end after S.
    int64_t lowest = int64_t(s) - 8;
    int64_t from = std::min<int64_t>(int64_t(s) + len - 1, int64_t(size) - int64_t(kEndStream.size()));
    for (int64_t p = from; p >= std::max<int64_t>(lowest, 0); --p) {
      if (data_[size_t(p)] == 'e' && endstreamAt(size_t(p))) {
        len = p - int64_t(s);
        found = true;
        break;
      }
    }
  }
  if (!found) {
    size_t at = data_.find(kEndStream, size_t(std::min<uint64_t>(uint64_t(s) + uint64_t(len) + 1, size)));
    if (at != std::string_view::npos) {
      len = int64_t(at) - int64_t(s);
      found = true;
    } else {
      EndMet = true;
    }
  }
  if (len < 0) len = 0;  // "endstream" sat before the data: an empty stream
  if (uint64_t(s) + uint64_t(len) > size) len = int64_t(size - s);

  std::unique_ptr<TvxMemoryStream> data;
  bool copy = len >= 2 || !endstreamAt(s);
  if (Decryptor) {
    if (CurrentObjectNumber == -1 || CurrentGeneration == -1) throw EInvalidObjectNo(res::SInvalidObjectNo);
    std::string bytes = copy ? std::string(data_.substr(s, size_t(len))) : std::string();
    if (StreamDecryptor)
      StreamDecryptor(bytes, objectNumber, generation, dictionary);
    else
      Decrypt(bytes, objectNumber, generation);
    data = std::make_unique<TvxMemoryStream>(std::move(bytes));
  } else if (!copy) {
    data = std::make_unique<TvxMemoryStream>();
  } else if (buffer_) {
    data = std::make_unique<TvxMemoryStream>(buffer_, s, size_t(len));
  } else if (file_) {
    // Bytes read stay where they are for the file's life.
    data = std::make_unique<TvxMemoryStream>(file_, data_.substr(s, size_t(len)));
  } else {
    data = std::make_unique<TvxMemoryStream>(std::string(data_.substr(s, size_t(len))));
  }
  pos_ = s + size_t(len);
  SkipWhitespace();
  if (!endstreamAt(pos_)) {
    // No "endstream" anywhere after the data (a misspelt keyword, a cut
    // file): the bytes the length gives are still the stream's, as other
    // readers take them.
    if (!found && len > 0) return data;
    throw EEndStreamError(res::SEndStreamError);
  }
  Skip(kEndStream.size());
  return data;
}

int TvxPDFStreamReader::ReadHeaderVersion() {
  pos_ = 0;
  std::string_view word = ReadWord();
  std::string_view head = word.substr(0, 7);
  if (head == "%PDF-2.") return 8;
  if (head != "%PDF-1.") throw EInvalidHeader(Format(res::SInvalidHeader, {head}));
  if (word.size() < 8 || !IsDigit(word[7]))
    throw EConvertError(Format(res::SInvalidInteger, {word.substr(7, 1)}));
  // 1.8 and 1.9 do not exist, but some tools force them; other readers take
  // them as the newest 1.x. Anything more after such a digit is no version.
  const int digit = word[7] - '0';
  if (digit > 7 && word.size() > 8) throw EUnsupportedVersion(Format(res::SUnsupportedVersion, {word}));
  return std::min(digit, 7);
}

int64_t TvxPDFStreamReader::FindStartXRef() {
  if (source_ && !dynamic_cast<TvxMemoryStream*>(source_) && !dynamic_cast<TvxFileStream*>(source_))
    throw Exception(res::SUnexpectedStreamType);
  if (!file_) return FindStartXRefFrom(0);
  // The keyword is near the end: the tail is read, more of it until the
  // keyword is in it.
  const size_t size = file_->Size();
  for (size_t tail = kFirstPiece;; tail *= 2) {
    const size_t from = tail >= size ? 0 : size - tail;
    Ensure(from, size - from);
    SetView(size);
    if (from == 0) return FindStartXRefFrom(0);
    try {
      return FindStartXRefFrom(from);
    } catch (const EOffsetError&) {
      throw;  // found, and what follows it is read whole
    } catch (const Exception&) {
    }
  }
}

int64_t TvxPDFStreamReader::FindStartXRefFrom(size_t from) {
  static constexpr std::string_view kKeyword = "startxref";
  const size_t n = kKeyword.size();
  if (data_.size() < n) throw Exception(res::SInvalidPDFFile);
  auto isAlnum = [](unsigned char c) { return IsDigit(c) || IsAsciiLetter(c); };
  const size_t lowest = from == 0 ? 0 : from + 1;
  for (size_t p = data_.size() - n + 1; p-- > lowest;) {
    unsigned char c0 = data_[p];
    if (c0 != 's' && c0 != 'S') continue;
    bool match = true;
    for (size_t k = 1; k < n && match; ++k) {
      unsigned char c = data_[p + k];
      if (c >= 'A' && c <= 'Z') c = (unsigned char)(c + 32);
      match = c == (unsigned char)kKeyword[k];
    }
    if (!match) continue;
    if (p > 0 && isAlnum(data_[p - 1])) continue;
    if (p + n < data_.size() && isAlnum(data_[p + n])) continue;
    size_t q = p;
    while (q < data_.size() && !IsDigit(data_[q])) ++q;
    size_t e = q;
    while (e < data_.size() && IsDigit(data_[e])) ++e;
    auto offset = TryStrToInt64(data_.substr(q, e - q));
    if (q == e || !offset) throw EOffsetError(res::SOffsetError);
    return *offset;
  }
  throw Exception(res::SInvalidPDFFile);
}

std::unique_ptr<TvxPDFDictObject> TvxPDFStreamReader::ReadTrailer() {
  while (pos_ < data_.size() && data_[pos_] != 't') ++pos_;
  if (pos_ >= data_.size()) EndMet = true;
  if (PeekView(7) != "trailer") throw ETrailerError(res::STrailerError);
  Skip(7);
  TvxPDFObjectPtr object = ParseObject();
  if (!object || !object->IsDictionary()) throw ETrailerError(res::STrailerError);
  return std::unique_ptr<TvxPDFDictObject>(static_cast<TvxPDFDictObject*>(object.release()));
}

}  // namespace vx
