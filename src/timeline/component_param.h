// Component parameters of a placed movie clip, as the placement entries and
// the init-action rows both carry them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tovrani {

struct ComponentParamValue {
  std::string text;
  std::string secondText;
};

struct ComponentParam {
  uint16_t type = 0;
  uint32_t hasSecondText = 0;
  std::vector<ComponentParamValue> values;
  std::string name;
};

}  // namespace tovrani
