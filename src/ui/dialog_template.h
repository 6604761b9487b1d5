// The resource tables that a toolkit without resource support builds its
// dialogs from. They are generated at build time from res/quarn.rc (see
// rc_script.h), so they hold exactly what the Windows build compiles.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

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

// The generated tables. Nothing (nullptr) for an id the script lacks.
const DialogTemplate* find_dialog_template(int id);
std::optional<std::string_view> find_string_resource(int id);
// The bytes of the .ico file that an ICON statement names.
std::optional<std::span<const std::uint8_t>> find_icon_data(int id);

// The window style bits that the layer interprets.
namespace style {
inline constexpr std::uint32_t kPopup = 0x80000000;         // WS_POPUP
inline constexpr std::uint32_t kChild = 0x40000000;         // WS_CHILD
inline constexpr std::uint32_t kVisible = 0x10000000;       // WS_VISIBLE
inline constexpr std::uint32_t kCaption = 0x00C00000;       // WS_CAPTION
inline constexpr std::uint32_t kBorder = 0x00800000;        // WS_BORDER
inline constexpr std::uint32_t kSysMenu = 0x00080000;       // WS_SYSMENU
inline constexpr std::uint32_t kGroup = 0x00020000;         // WS_GROUP
inline constexpr std::uint32_t kTabStop = 0x00010000;       // WS_TABSTOP
inline constexpr std::uint32_t kModalFrame = 0x00000080;    // DS_MODALFRAME
inline constexpr std::uint32_t kSetFont = 0x00000040;       // DS_SETFONT

inline constexpr std::uint32_t kButtonTypeMask = 0x0000000F;
inline constexpr std::uint32_t kPushButton = 0x00000000;     // BS_PUSHBUTTON
inline constexpr std::uint32_t kDefPushButton = 0x00000001;  // BS_DEFPUSHBUTTON
inline constexpr std::uint32_t kGroupBox = 0x00000007;       // BS_GROUPBOX

inline constexpr std::uint32_t kStaticTypeMask = 0x0000001F;
inline constexpr std::uint32_t kStaticLeft = 0x00000000;           // SS_LEFT
inline constexpr std::uint32_t kStaticCenter = 0x00000001;         // SS_CENTER
inline constexpr std::uint32_t kStaticRight = 0x00000002;          // SS_RIGHT
inline constexpr std::uint32_t kStaticGrayFrame = 0x00000008;      // SS_GRAYFRAME
inline constexpr std::uint32_t kStaticLeftNoWordWrap = 0x0000000C; // SS_LEFTNOWORDWRAP
inline constexpr std::uint32_t kStaticEtchedHorz = 0x00000010;     // SS_ETCHEDHORZ
inline constexpr std::uint32_t kStaticNoPrefix = 0x00000080;       // SS_NOPREFIX
inline constexpr std::uint32_t kStaticCenterImage = 0x00000200;    // SS_CENTERIMAGE

inline constexpr std::uint32_t kEditAutoHScroll = 0x00000080;  // ES_AUTOHSCROLL

inline constexpr std::uint32_t kListViewTypeMask = 0x00000003;
inline constexpr std::uint32_t kListViewReport = 0x00000001;   // LVS_REPORT
inline constexpr std::uint32_t kListViewSingleSel = 0x00000004; // LVS_SINGLESEL

inline constexpr std::uint32_t kExTransparent = 0x00000020;  // WS_EX_TRANSPARENT
inline constexpr std::uint32_t kExStaticEdge = 0x00020000;   // WS_EX_STATICEDGE
inline constexpr std::uint32_t kExAppWindow = 0x00040000;    // WS_EX_APPWINDOW
}  // namespace style

}  // namespace quarn::ui
