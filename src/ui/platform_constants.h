// The platform headers' values of every constant that a resource script
// may name: one table for the script reader (rc_script.cpp) and for the
// style bits that the dialog layer interprets (dialog_template.h), so that
// the two can never disagree about a bit.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quarn::ui {

struct PlatformConstant {
  std::string_view name;
  std::uint32_t value;
};

inline constexpr std::array kPlatformConstants{
    PlatformConstant{"WS_POPUP", 0x80000000},            PlatformConstant{"WS_CHILD", 0x40000000},
    PlatformConstant{"WS_MINIMIZE", 0x20000000},         PlatformConstant{"WS_VISIBLE", 0x10000000},
    PlatformConstant{"WS_DISABLED", 0x08000000},         PlatformConstant{"WS_CLIPSIBLINGS", 0x04000000},
    PlatformConstant{"WS_CLIPCHILDREN", 0x02000000},     PlatformConstant{"WS_MAXIMIZE", 0x01000000},
    PlatformConstant{"WS_CAPTION", 0x00C00000},          PlatformConstant{"WS_BORDER", 0x00800000},
    PlatformConstant{"WS_DLGFRAME", 0x00400000},         PlatformConstant{"WS_VSCROLL", 0x00200000},
    PlatformConstant{"WS_HSCROLL", 0x00100000},          PlatformConstant{"WS_SYSMENU", 0x00080000},
    PlatformConstant{"WS_THICKFRAME", 0x00040000},       PlatformConstant{"WS_GROUP", 0x00020000},
    PlatformConstant{"WS_TABSTOP", 0x00010000},          PlatformConstant{"WS_MINIMIZEBOX", 0x00020000},
    PlatformConstant{"WS_MAXIMIZEBOX", 0x00010000},      PlatformConstant{"WS_EX_DLGMODALFRAME", 0x00000001},
    PlatformConstant{"WS_EX_TOPMOST", 0x00000008},       PlatformConstant{"WS_EX_TRANSPARENT", 0x00000020},
    PlatformConstant{"WS_EX_TOOLWINDOW", 0x00000080},    PlatformConstant{"WS_EX_WINDOWEDGE", 0x00000100},
    PlatformConstant{"WS_EX_CLIENTEDGE", 0x00000200},    PlatformConstant{"WS_EX_STATICEDGE", 0x00020000},
    PlatformConstant{"WS_EX_APPWINDOW", 0x00040000},     PlatformConstant{"DS_ABSALIGN", 0x01},
    PlatformConstant{"DS_SYSMODAL", 0x02},               PlatformConstant{"DS_LOCALEDIT", 0x20},
    PlatformConstant{"DS_SETFONT", 0x40},                PlatformConstant{"DS_MODALFRAME", 0x80},
    PlatformConstant{"DS_NOIDLEMSG", 0x100},             PlatformConstant{"DS_SETFOREGROUND", 0x200},
    PlatformConstant{"DS_3DLOOK", 0x04},                 PlatformConstant{"DS_FIXEDSYS", 0x08},
    PlatformConstant{"DS_CENTER", 0x800},                PlatformConstant{"SS_LEFT", 0x00},
    PlatformConstant{"SS_CENTER", 0x01},                 PlatformConstant{"SS_RIGHT", 0x02},
    PlatformConstant{"SS_ICON", 0x03},                   PlatformConstant{"SS_BLACKRECT", 0x04},
    PlatformConstant{"SS_GRAYRECT", 0x05},               PlatformConstant{"SS_WHITERECT", 0x06},
    PlatformConstant{"SS_BLACKFRAME", 0x07},             PlatformConstant{"SS_GRAYFRAME", 0x08},
    PlatformConstant{"SS_WHITEFRAME", 0x09},             PlatformConstant{"SS_SIMPLE", 0x0B},
    PlatformConstant{"SS_LEFTNOWORDWRAP", 0x0C},         PlatformConstant{"SS_ETCHEDHORZ", 0x10},
    PlatformConstant{"SS_ETCHEDVERT", 0x11},             PlatformConstant{"SS_ETCHEDFRAME", 0x12},
    PlatformConstant{"SS_NOPREFIX", 0x80},               PlatformConstant{"SS_CENTERIMAGE", 0x200},
    PlatformConstant{"SS_SUNKEN", 0x1000},               PlatformConstant{"SS_TYPEMASK", 0x1F},
    PlatformConstant{"BS_PUSHBUTTON", 0x00},             PlatformConstant{"BS_DEFPUSHBUTTON", 0x01},
    PlatformConstant{"BS_CHECKBOX", 0x02},               PlatformConstant{"BS_AUTOCHECKBOX", 0x03},
    PlatformConstant{"BS_RADIOBUTTON", 0x04},            PlatformConstant{"BS_GROUPBOX", 0x07},
    PlatformConstant{"BS_AUTORADIOBUTTON", 0x09},        PlatformConstant{"BS_TYPEMASK", 0x0F},
    PlatformConstant{"ES_LEFT", 0x00},                   PlatformConstant{"ES_CENTER", 0x01},
    PlatformConstant{"ES_RIGHT", 0x02},                  PlatformConstant{"ES_MULTILINE", 0x04},
    PlatformConstant{"ES_AUTOVSCROLL", 0x40},            PlatformConstant{"ES_AUTOHSCROLL", 0x80},
    PlatformConstant{"ES_READONLY", 0x800},              PlatformConstant{"LVS_ICON", 0x00},
    PlatformConstant{"LVS_REPORT", 0x01},                PlatformConstant{"LVS_SMALLICON", 0x02},
    PlatformConstant{"LVS_LIST", 0x03},                  PlatformConstant{"LVS_SINGLESEL", 0x04},
    PlatformConstant{"LVS_SHOWSELALWAYS", 0x08},         PlatformConstant{"LVS_NOSORTHEADER", 0x8000},
    PlatformConstant{"LANG_NEUTRAL", 0x00},              PlatformConstant{"LANG_ENGLISH", 0x09},
    PlatformConstant{"SUBLANG_NEUTRAL", 0x00},           PlatformConstant{"SUBLANG_DEFAULT", 0x01},
    PlatformConstant{"SUBLANG_ENGLISH_US", 0x01},        PlatformConstant{"VS_VERSION_INFO", 1},
    PlatformConstant{"VOS__WINDOWS32", 0x04},            PlatformConstant{"VOS_NT_WINDOWS32", 0x40004},
    PlatformConstant{"VFT_APP", 0x01},                   PlatformConstant{"VFT2_UNKNOWN", 0x00},
    PlatformConstant{"VS_FF_DEBUG", 0x01},               PlatformConstant{"IDOK", 1},
    PlatformConstant{"IDCANCEL", 2},
};

constexpr std::optional<std::uint32_t> find_platform_constant(std::string_view name) {
  for (const PlatformConstant& constant : kPlatformConstants) {
    if (constant.name == name) return constant.value;
  }
  return std::nullopt;
}

// At compile time only: a name that the table lacks does not compile.
consteval std::uint32_t platform_constant(std::string_view name) { return find_platform_constant(name).value(); }

}  // namespace quarn::ui
