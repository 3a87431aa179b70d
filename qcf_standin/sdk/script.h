// Scripted answers: what the next call or calls of a function return and
// write, and which handler calls they make, queued per function name.
#ifndef VARN_QCF_STANDIN_SDK_SCRIPT_H
#define VARN_QCF_STANDIN_SDK_SCRIPT_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "handlers.h"

namespace qcf_standin {

struct Script {
  std::optional<int> code;
  bool hasBytes = false;
  bool bytesNull = false;
  std::string bytes;
  std::optional<int64_t> number;
  bool nullHandle = false;
  std::vector<Emission> emissions;

  // Scripted outputs stand for a successful answer unless a code is given.
  bool HasOutputs() const { return hasBytes || number || nullHandle; }
};

// The script for this call of `name`, if one is queued; uses up one of its
// calls.
std::optional<Script> TakeScript(const char* name);
void ClearScripts();

// Builds a script for the next `times` calls of `name` (times < 0: every
// later call; 0: none). The setters fill the script begun last; without a
// begun script they do nothing.
void BeginScript(const char* name, int times);
void SetScriptCode(int code);
void SetScriptBytes(const void* data, size_t size, bool isNull);
void SetScriptNumber(int64_t value);
void SetScriptNullHandle();
void AddScriptEmission(const Emission& emission);
void EndScript();

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_SCRIPT_H
