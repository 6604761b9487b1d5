// The look-ups of dialog_template.h over the generated tables.
#include "ui/resource_tables.h"

namespace quarn::ui {

const DialogTemplate* find_dialog_template(int id) {
  for (const DialogTemplate& dialog : kDialogTemplates) {
    if (dialog.id == id) return &dialog;
  }
  return nullptr;
}

std::optional<std::string_view> find_string_resource(int id) {
  for (const StringResource& string : kStringResources) {
    if (string.id == id) return string.text;
  }
  return std::nullopt;
}

std::optional<std::span<const std::uint8_t>> find_icon_data(int id) {
  for (const IconResource& icon : kIconResources) {
    if (icon.id == id) return icon.bytes;
  }
  return std::nullopt;
}

}  // namespace quarn::ui
