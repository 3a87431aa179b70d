#include "key_file.h"

#include <cstdio>
#include <set>

#include "escape.h"
#include "hex.h"

namespace qcf_standin {
namespace {

constexpr const char* kHeader = "QCF-STANDIN-KEYSTORE 1";

uint64_t Fnv1a64(const char* data, size_t size) {
  uint64_t hash = 0xcbf29ce484222325u;
  for (size_t i = 0; i < size; ++i) {
    hash = (hash ^ static_cast<unsigned char>(data[i])) * 0x100000001b3u;
  }
  return hash;
}

std::string SumText(const std::string& body) {
  char text[17];
  std::snprintf(
      text, sizeof text, "%016llX",
      static_cast<unsigned long long>(Fnv1a64(body.data(), body.size())));
  return text;
}

bool ParseCounter(const std::string& field, uint32_t* value) {
  if (field.empty() || field.size() > 10) return false;
  uint64_t number = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<uint64_t>(c - '0');
  }
  if (number > UINT32_MAX) return false;
  *value = static_cast<uint32_t>(number);
  return true;
}

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t space = line.find(' ', start);
    fields.push_back(line.substr(start, space - start));
    if (space == std::string::npos) return fields;
    start = space + 1;
  }
}

bool Fail(std::string* why, const std::string& reason) {
  *why = reason;
  return false;
}

// One line after the header and before the end line.
bool ParseLine(const std::vector<std::string>& fields, KeyStoreData* store,
               std::set<std::string>* ids, std::string* why) {
  const std::string& kind = fields[0];
  if (kind == "tag" && fields.size() == 2) {
    return Unescape(fields[1], &store->tag) || Fail(why, "bad tag");
  }
  if (kind == "source" && fields.size() == 2) {
    return Unescape(fields[1], &store->source) || Fail(why, "bad source");
  }
  if (kind == "counters" && fields.size() == 4) {
    return (ParseCounter(fields[1], &store->totalKeySize) &&
            ParseCounter(fields[2], &store->usedKeySize) &&
            ParseCounter(fields[3], &store->keyBasePostion)) ||
           Fail(why, "bad counters");
  }
  if (kind == "group" && fields.size() == 5) {
    GroupRecord group;
    if (!Unescape(fields[1], &group.id) || group.id.empty() ||
        !ParseHex(fields[2], &group.key) || group.key.empty() ||
        group.key.size() > kMaxGroupKeyLength ||
        !Unescape(fields[3], &group.name) ||
        !Unescape(fields[4], &group.note)) {
      return Fail(why, "bad group line");
    }
    if (!ids->insert(group.id).second) return Fail(why, "group id repeated");
    store->groups.push_back(std::move(group));
    return true;
  }
  return Fail(why, "unknown line '" + kind + "'");
}

}  // namespace

const GroupRecord* KeyStoreData::FindGroup(const std::string& id) const {
  for (const GroupRecord& group : groups) {
    if (group.id == id) return &group;
  }
  return nullptr;
}

std::string FormatKeyStore(const KeyStoreData& store) {
  std::string body = std::string(kHeader) + "\n";
  body += "tag " + Escape(store.tag) + "\n";
  body += "source " + Escape(store.source) + "\n";
  body += "counters " + std::to_string(store.totalKeySize) + " " +
          std::to_string(store.usedKeySize) + " " +
          std::to_string(store.keyBasePostion) + "\n";
  for (const GroupRecord& group : store.groups) {
    body += "group " + Escape(group.id) + " " +
            HexUpper(group.key.data(), group.key.size()) + " " +
            Escape(group.name) + " " + Escape(group.note) + "\n";
  }
  return body + "end " + SumText(body) + "\n";
}

bool ParseKeyStore(const std::string& text, KeyStoreData* store,
                   std::string* why) {
  *store = KeyStoreData{};
  if (text.empty() || text.back() != '\n') return Fail(why, "cut short");
  const size_t endLine = text.rfind("\nend ", text.size() - 1);
  if (endLine == std::string::npos) return Fail(why, "no end line");
  const std::string body = text.substr(0, endLine + 1);
  const std::string sum = text.substr(endLine + 5, text.size() - endLine - 6);
  if (sum != SumText(body)) return Fail(why, "wrong sum");

  std::set<std::string> ids;
  bool counters = false;
  size_t start = 0;
  for (size_t lineNo = 0; start < body.size(); ++lineNo) {
    const size_t end = body.find('\n', start);
    const std::string line = body.substr(start, end - start);
    start = end + 1;
    if (lineNo == 0) {
      if (line != kHeader) return Fail(why, "not a key store of version 1");
      continue;
    }
    const std::vector<std::string> fields = SplitFields(line);
    if (!ParseLine(fields, store, &ids, why)) return false;
    counters = counters || fields[0] == "counters";
  }
  if (!counters) return Fail(why, "no counters");
  return true;
}

}  // namespace qcf_standin
