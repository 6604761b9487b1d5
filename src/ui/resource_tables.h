// The tables that quarn_rc_tables writes from res/quarn.rc at build time,
// and that the look-ups of dialog_template.h (resource_lookup.cpp) search.
// Each is in script order.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "ui/dialog_template.h"

namespace quarn::ui {

struct StringResource {
  int id;
  std::string_view text;
};

// The bytes of the .ico file that an ICON statement names.
struct IconResource {
  int id;
  std::span<const std::uint8_t> bytes;
};

extern const std::span<const DialogTemplate> kDialogTemplates;
extern const std::span<const StringResource> kStringResources;
extern const std::span<const IconResource> kIconResources;

}  // namespace quarn::ui
