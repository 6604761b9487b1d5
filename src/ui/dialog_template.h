// The resource tables that a toolkit without resource support builds its
// dialogs from. They are generated at build time from res/quarn.rc (see
// rc_script.h), so they hold exactly what the Windows build compiles.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "ui/platform_constants.h"

namespace quarn::ui {

// One control of a dialog template. Positions and sizes are in dialog units.
struct ControlTemplate {
  int id;
  std::string_view class_name;  // as written: "BUTTON", "STATIC", "EDIT", "SysListView32"
  std::string_view text;
  int x, y, cx, cy;
  std::uint32_t style;
  std::uint32_t ex_style;
};

struct DialogTemplate {
  int id;
  bool extended;  // DIALOGEX rather than DIALOG
  std::string_view caption;
  int x, y, cx, cy;
  std::uint32_t style;
  std::uint32_t ex_style;
  std::string_view font_name;
  int point_size;
  int weight;
  bool italic;
  int charset;
  std::span<const ControlTemplate> controls;  // in template order
};

// Look-ups in the generated tables (resource_tables.h). Nothing (nullptr)
// for an id the script lacks.
const DialogTemplate* find_dialog_template(int id);
std::optional<std::string_view> find_string_resource(int id);
// The bytes of the .ico file that an ICON statement names.
std::optional<std::span<const std::uint8_t>> find_icon_data(int id);

// The style bits that the Qt layer interprets, from the platform's table.
namespace style {
inline constexpr std::uint32_t kVisible = platform_constant("WS_VISIBLE");
inline constexpr std::uint32_t kBorder = platform_constant("WS_BORDER");
inline constexpr std::uint32_t kSysMenu = platform_constant("WS_SYSMENU");
inline constexpr std::uint32_t kTabStop = platform_constant("WS_TABSTOP");

inline constexpr std::uint32_t kButtonTypeMask = platform_constant("BS_TYPEMASK");
inline constexpr std::uint32_t kDefPushButton = platform_constant("BS_DEFPUSHBUTTON");
inline constexpr std::uint32_t kGroupBox = platform_constant("BS_GROUPBOX");

inline constexpr std::uint32_t kStaticTypeMask = platform_constant("SS_TYPEMASK");
inline constexpr std::uint32_t kStaticLeft = platform_constant("SS_LEFT");
inline constexpr std::uint32_t kStaticCenter = platform_constant("SS_CENTER");
inline constexpr std::uint32_t kStaticRight = platform_constant("SS_RIGHT");
inline constexpr std::uint32_t kStaticGrayFrame = platform_constant("SS_GRAYFRAME");
inline constexpr std::uint32_t kStaticEtchedHorz = platform_constant("SS_ETCHEDHORZ");
inline constexpr std::uint32_t kStaticCenterImage = platform_constant("SS_CENTERIMAGE");

inline constexpr std::uint32_t kListViewSingleSel = platform_constant("LVS_SINGLESEL");

inline constexpr std::uint32_t kExStaticEdge = platform_constant("WS_EX_STATICEDGE");
}  // namespace style

}  // namespace quarn::ui
