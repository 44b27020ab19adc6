#include "QpdfStructures.h"

#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "support/PdfBuilder.h"

namespace vxtest {

namespace {

using nlohmann::json;

bool IsReference(const json& v) {
  static const std::regex kReference(R"(\d+ \d+ R)");
  return v.is_string() && std::regex_match(v.get<std::string>(), kReference);
}

// Objects of qpdf's "qpdf" section, for following references.
class Objects {
 public:
  explicit Objects(const json& all) {
    if (all.is_array() && all.size() > 1) objects_ = &all[1];
  }

  // The value a reference names (a stream stands for its dictionary).
  const json& Resolve(const json& v) const {
    const json* current = &v;
    for (int step = 0; step < 32 && IsReference(*current); ++step) {
      if (!objects_) return Null();
      auto it = objects_->find("obj:" + current->get<std::string>());
      if (it == objects_->end()) return Null();
      if (it->contains("value"))
        current = &(*it)["value"];
      else if (it->contains("stream"))
        current = &(*it)["stream"]["dict"];
      else
        return Null();
    }
    return *current;
  }

  const json& Trailer() const {
    if (!objects_) return Null();
    auto it = objects_->find("trailer");
    return it == objects_->end() ? Null() : (*it)["value"];
  }

  static const json& Null() {
    static const json null;
    return null;
  }

 private:
  const json* objects_ = nullptr;
};

const json& Get(const json& dict, const char* key) {
  if (!dict.is_object()) return Objects::Null();
  auto it = dict.find(key);
  return it == dict.end() ? Objects::Null() : *it;
}

// Named destinations of the catalog's /Dests and of the /Dests name tree.
class Destinations {
 public:
  Destinations(const Objects& objects, const std::map<std::string, int>& pages)
      : objects_(objects), pages_(pages) {
    const json& root = objects.Resolve(Get(objects.Trailer(), "/Root"));
    const json& dests = objects.Resolve(Get(root, "/Dests"));
    if (dests.is_object())
      for (auto& [key, value] : dests.items()) named_.emplace(key, &value);
    const json& names = objects.Resolve(Get(root, "/Names"));
    ReadTree(objects.Resolve(Get(names, "/Dests")), 0);
  }

  // "page N", "none" (no page found) or the kind of remote destination.
  std::string PageOf(const json& destination, int depth = 0) const {
    if (depth > 8) return "none";
    const json& d = objects_.Resolve(destination);
    if (d.is_array()) {
      if (d.empty()) return "none";
      if (IsReference(d[0])) {
        auto it = pages_.find(d[0].get<std::string>());
        return it == pages_.end() ? "none" : "page " + std::to_string(it->second);
      }
      if (d[0].is_number_integer()) return "remote page " + std::to_string(d[0].get<long>() + 1);
      return "none";
    }
    if (d.is_object()) return PageOf(Get(d, "/D"), depth + 1);
    if (d.is_string()) {
      const std::string name = d.get<std::string>();
      auto it = named_.find(name);
      if (it == named_.end() && name.rfind("u:", 0) == 0) it = named_.find("/" + name.substr(2));
      if (it == named_.end() && name.rfind("/", 0) == 0) it = named_.find("u:" + name.substr(1));
      if (it == named_.end()) return "none";
      return PageOf(*it->second, depth + 1);
    }
    return "none";
  }

 private:
  void ReadTree(const json& node, int depth) {
    if (!node.is_object() || depth > 64) return;
    const json& kids = objects_.Resolve(Get(node, "/Kids"));
    if (kids.is_array()) {
      for (const json& kid : kids) {
        if (IsReference(kid) && !visited_.insert(kid.get<std::string>()).second) continue;
        ReadTree(objects_.Resolve(kid), depth + 1);
      }
    }
    const json& names = objects_.Resolve(Get(node, "/Names"));
    if (names.is_array()) {
      for (size_t i = 0; i + 1 < names.size(); i += 2)
        if (names[i].is_string()) named_.emplace(names[i].get<std::string>(), &names[i + 1]);
    }
  }

  const Objects& objects_;
  const std::map<std::string, int>& pages_;
  std::map<std::string, const json*> named_;
  std::set<std::string> visited_;
};

// The page comes from the destination qpdf found for the item (named
// destinations resolved, and the /D of a destination dictionary followed).
// An item listed a second time (a loop of /First or /Next) ends its list:
// the chain is cut at the item met before.
void DumpOutlines(const json& items, const Destinations& destinations, int depth, std::set<std::string>& seen,
                  QpdfStructures& result) {
  if (!items.is_array() || depth > 300) return;
  for (const json& item : items) {
    if (!seen.insert(Get(item, "object").dump()).second) {
      ++result.OutlineCuts;
      break;
    }
    std::string line(size_t(depth) * 2, ' ');
    line += Get(item, "title").is_string() ? Get(item, "title").get<std::string>() : std::string("(no title)");
    const json& kids = Get(item, "kids");
    const bool hasKids = kids.is_array() && !kids.empty();
    // Open or closed only means something for an item with children.
    if (hasKids && Get(item, "open") == false) line += " [closed]";
    line += " -> " + destinations.PageOf(Get(item, "dest"));
    result.Outlines.push_back(line);
    DumpOutlines(kids, destinations, depth + 1, seen, result);
  }
}

std::string AnnotationLine(const json& annotation, const Objects& objects, const Destinations& destinations) {
  const json& subtype = Get(annotation, "/Subtype");
  std::string line = subtype.is_string() ? subtype.get<std::string>() : std::string("(no subtype)");
  if (line != "/Link") return line;
  if (!Get(annotation, "/Dest").is_null()) return line + " -> " + destinations.PageOf(Get(annotation, "/Dest"));
  const json& action = objects.Resolve(Get(annotation, "/A"));
  const json& kind = Get(action, "/S");
  if (kind == "/GoTo") return line + " -> " + destinations.PageOf(Get(action, "/D"));
  if (kind.is_string()) return line + " -> action " + kind.get<std::string>();
  return line + " -> nothing";
}

}  // namespace

int QpdfStructures::AnnotationCount() const {
  int count = 0;
  for (const auto& page : Annotations) count += int(page.size());
  return count;
}

QpdfStructures ReadQpdfStructures(const std::string& path) {
  QpdfStructures result;
  std::string text;
  int status = RunCommand("qpdf --json --json-key=outlines --json-key=acroform --json-key=pages --json-key=qpdf " +
                              Quote(path),
                          &text, false);
  // 3: read with warnings.
  if (status != 0 && status != 3) {
    result.Error = "qpdf --json status " + std::to_string(status);
    return result;
  }
  json j = json::parse(text, nullptr, false);
  if (j.is_discarded() || !j.is_object()) {
    result.Error = "qpdf --json printed no JSON";
    return result;
  }
  result.Readable = true;
  Objects objects(j["qpdf"]);

  std::map<std::string, int> pages;
  const json& pageList = j["pages"];
  for (size_t i = 0; pageList.is_array() && i < pageList.size(); ++i)
    pages.emplace(Get(pageList[i], "object").get<std::string>(), int(i + 1));
  Destinations destinations(objects, pages);

  std::set<std::string> seen;
  DumpOutlines(j["outlines"], destinations, 0, seen, result);

  const json& form = j["acroform"];
  result.HasAcroForm = Get(form, "hasacroform") == true;
  result.NeedAppearances = Get(form, "needappearances") == true;
  const json& fields = Get(form, "fields");
  for (size_t i = 0; fields.is_array() && i < fields.size(); ++i) {
    const json& f = fields[i];
    // A value given by reference (a signature) is compared by its kind.
    auto value = [&objects](const json& v) {
      return IsReference(v) ? "object " + Get(objects.Resolve(v), "/Type").dump() : v.dump();
    };
    result.Fields.push_back(Get(f, "fullname").dump() + " | " + Get(f, "fieldtype").dump() + " | " +
                            value(Get(f, "value")) + " | " + value(Get(f, "defaultvalue")) + " | " +
                            Get(f, "choices").dump());
  }

  for (size_t i = 0; pageList.is_array() && i < pageList.size(); ++i) {
    std::vector<std::string> lines;
    const json& page = objects.Resolve(Get(pageList[i], "object"));
    const json& annots = objects.Resolve(Get(page, "/Annots"));
    if (annots.is_array())
      for (const json& a : annots) lines.push_back(AnnotationLine(objects.Resolve(a), objects, destinations));
    result.Annotations.push_back(std::move(lines));
  }
  return result;
}

}  // namespace vxtest
