// The dialog layer on Qt 6 Widgets.
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "ui/dialog.h"
#include "ui/dialog_template.h"
#include "ui/qt/dialog_window.h"
#include "ui/qt/display_text.h"

namespace quarn::ui {
namespace {

// Hands a freshly made widget or object to its Qt parent, which owns it
// from then on and deletes it with itself.
template <typename T>
T* adopt(std::unique_ptr<T> child, QWidget* parent) {
  child->setParent(parent);
  return child.release();
}

bool same_class(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// MulDiv: a * b / c rounded half away from zero.
int mul_div(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

Qt::Alignment column_alignment(ColumnAlign align) {
  switch (align) {
    case ColumnAlign::right: return Qt::AlignRight | Qt::AlignVCenter;
    case ColumnAlign::center: return Qt::AlignHCenter | Qt::AlignVCenter;
    case ColumnAlign::left: break;
  }
  return Qt::AlignLeft | Qt::AlignVCenter;
}

std::uint32_t static_type(std::uint32_t style) { return style & style::kStaticTypeMask; }

// Statics of these types wrap their text and may show several lines.
bool static_wraps(std::uint32_t style_bits) {
  const std::uint32_t type = static_type(style_bits);
  return (type == style::kStaticLeft || type == style::kStaticCenter || type == style::kStaticRight) &&
         (style_bits & style::kStaticCenterImage) == 0;
}

// "MS Sans Serif" does not exist on Linux. Its nearest free relative in
// proportions, among the fonts a Qt system always has, is DejaVu Sans: with
// the dialog units taken from it, every label of the templates fits its box.
void substitute_dialog_fonts() {
  static const bool done = [] {
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), {QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("MS Shell Dlg"), {QStringLiteral("DejaVu Sans")});
    return true;
  }();
  (void)done;
}

QWidget* owner_window_for(CDialog* parent) {
  if (parent != nullptr && parent->window() != nullptr) return parent->window();
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  if (QWidget* active = QApplication::activeWindow()) return active;
  if (CWinApp* app = CWinApp::instance(); app != nullptr && app->m_pMainWnd != nullptr) {
    return app->m_pMainWnd->window();
  }
  return nullptr;
}

}  // namespace

// --- dialog units --------------------------------------------------------

int DialogUnits::x(int units) const { return mul_div(units, base_x, 4); }
int DialogUnits::y(int units) const { return mul_div(units, base_y, 8); }

DialogUnits dialog_units_of(const QFont& font) {
  const QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return DialogUnits{(width / 26 + 1) / 2, metrics.height()};
}

// --- the window ------------------------------------------------------------

// The window has no Qt parent: the CDialog owns it, and a Qt parent would
// own it too. It is placed over its owner by hand instead (showEvent).
DialogWindow::DialogWindow(CDialog& owner) : QDialog(nullptr), owner_(&owner) {}

DialogWindow::~DialogWindow() { owner_ = nullptr; }

bool DialogWindow::create_from_template(int template_id, bool) {
  // Qt's modal run disables the other windows by itself.
  template_ = find_dialog_template(template_id);
  if (template_ == nullptr) return false;
  owner_window_ = owner_window_for(owner_->parent());
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (template_->style & style::kSysMenu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  setWindowFlags(flags);
  setWindowTitle(display_text(template_->caption));

  substitute_dialog_fonts();
  QFont font{QString::fromLatin1(template_->font_name.data(), static_cast<qsizetype>(template_->font_name.size()))};
  font.setStyleHint(QFont::SansSerif);
  if (template_->point_size > 0) font.setPointSize(template_->point_size);
  if (template_->weight > 0) font.setWeight(static_cast<QFont::Weight>(template_->weight));
  font.setItalic(template_->italic);
  setFont(font);
  units_ = dialog_units_of(font);
  setFixedSize(units_.x(template_->cx), units_.y(template_->cy));
  line_height_ = QFontMetrics(font).height();

  build_controls();
  CDialog& dialog = *owner_;
  if (dialog.OnInitDialog()) focus_first_tab_stop();
  return true;
}

void DialogWindow::build_controls() {
  for (const ControlTemplate& control : template_->controls) {
    QWidget* widget = make_control(control);
    QRect box(units_.x(control.x), units_.y(control.y), units_.x(control.cx), units_.y(control.cy));
    // The template's boxes were made for another font. A caption that no
    // code addresses, on one line and with no edge of its own, may grow to
    // the right so that the last pixels of its text are never cut off.
    auto* label = qobject_cast<QLabel*>(widget);
    if (label != nullptr && control.id == -1 && !is_multi_line(control) && label->frameShape() == QFrame::NoFrame) {
      const QFontMetrics metrics(label->font());
      const QRect ink = metrics.boundingRect(label->text());
      box.setWidth(std::max({box.width(), metrics.horizontalAdvance(label->text()), ink.x() + ink.width()}));
    }
    widget->setGeometry(box);
    if ((control.style & style::kVisible) == 0) widget->hide();
    if (control.id != -1 && controls_.count(control.id) == 0) controls_[control.id] = widget;
  }
}

QWidget* DialogWindow::make_control(const ControlTemplate& control) {
  const bool multi_line = is_multi_line(control);
  const QString text = display_text(control.text, multi_line);
  const bool tab_stop = (control.style & style::kTabStop) != 0;
  const bool static_edge = (control.ex_style & style::kExStaticEdge) != 0;

  if (same_class(control.class_name, "BUTTON")) {
    if ((control.style & style::kButtonTypeMask) == style::kGroupBox) {
      return adopt(std::make_unique<QGroupBox>(text), this);
    }
    auto* button = adopt(std::make_unique<QPushButton>(text), this);
    button->setAutoDefault(false);
    button->setDefault((control.style & style::kButtonTypeMask) == style::kDefPushButton);
    button->setFocusPolicy(tab_stop ? Qt::StrongFocus : Qt::ClickFocus);
    const int id = control.id;
    connect(button, &QPushButton::clicked, this, [this, id] { command(id); });
    return button;
  }
  if (same_class(control.class_name, "EDIT")) {
    auto* edit = adopt(std::make_unique<QLineEdit>(text), this);
    edit->setFrame((control.style & style::kBorder) != 0 || static_edge);
    edit->setFocusPolicy(tab_stop ? Qt::StrongFocus : Qt::ClickFocus);
    return edit;
  }
  if (same_class(control.class_name, "SysListView32")) {
    auto* list = adopt(std::make_unique<ReportList>(), this);
    list->setColumnCount(0);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setSortingEnabled(false);
    list->setSelectionMode((control.style & style::kListViewSingleSel) ? QAbstractItemView::SingleSelection
                                                                       : QAbstractItemView::ExtendedSelection);
    list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    list->header()->setStretchLastSection(false);
    list->header()->setSectionsMovable(false);
    list->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->setFrameStyle(static_edge ? (QFrame::Panel | QFrame::Sunken) : QFrame::StyledPanel);
    list->setFocusPolicy(tab_stop ? Qt::StrongFocus : Qt::ClickFocus);
    return list;
  }
  // STATIC, and any class the layer does not know, which then at least
  // shows its text.
  const std::uint32_t type = static_type(control.style);
  if (type == style::kStaticGrayFrame) {
    auto* frame = adopt(std::make_unique<QFrame>(), this);
    frame->setFrameStyle(QFrame::Box | QFrame::Plain);
    QPalette palette = frame->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Dark));
    frame->setPalette(palette);
    return frame;
  }
  if (type == style::kStaticEtchedHorz) {
    auto* line = adopt(std::make_unique<QFrame>(), this);
    line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    return line;
  }
  auto* label = adopt(std::make_unique<QLabel>(text), this);
  // File names are shown as they are: never as markup, never with "&" taken
  // as a mnemonic.
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(multi_line);
  label->setIndent(0);
  label->setMargin(0);
  Qt::Alignment align = Qt::AlignLeft;
  if (type == style::kStaticRight) align = Qt::AlignRight;
  if (type == style::kStaticCenter) align = Qt::AlignHCenter;
  align |= (control.style & style::kStaticCenterImage) ? Qt::AlignVCenter : Qt::AlignTop;
  label->setAlignment(align);
  if (static_edge) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  return label;
}

QWidget* DialogWindow::control(int id) const {
  auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second;
}

bool DialogWindow::is_multi_line(const ControlTemplate& control) const {
  // A wrapping static shows several lines only where its box has room for
  // two; in a one-line box wrapping could only hide the end of its text.
  return same_class(control.class_name, "STATIC") && static_wraps(control.style) &&
         units_.y(control.cy) >= 2 * line_height_;
}

bool DialogWindow::is_multi_line(int id) const {
  for (const ControlTemplate& control : template_->controls) {
    if (control.id == id) return is_multi_line(control);
  }
  return false;
}

void DialogWindow::command(int id) {
  if (owner_ == nullptr) return;
  if (id == kIdOk) owner_->OnOK();
  if (id == kIdCancel) owner_->OnCancel();
}

void DialogWindow::reject() {
  if (owner_ != nullptr) owner_->OnCancel();
}

void DialogWindow::showEvent(QShowEvent* event) {
  // A template at 0, 0 is centred: over its owner if it has one, else on
  // the screen.
  if (!placed_ && template_->x == 0 && template_->y == 0) {
    placed_ = true;
    QRect area;
    if (owner_window_ && owner_window_->isVisible()) {
      area = owner_window_->frameGeometry();
    } else if (QScreen* screen = this->screen()) {
      area = screen->availableGeometry();
    }
    if (area.isValid()) move(area.center() - rect().center());
    if (owner_window_ && owner_window_->windowHandle() && windowHandle()) {
      windowHandle()->setTransientParent(owner_window_->windowHandle());
    }
  }
  QDialog::showEvent(event);
}

bool DialogWindow::start_timer(unsigned id, unsigned period_ms) {
  QTimer*& timer = timers_[id];
  if (timer == nullptr) {
    timer = adopt(std::make_unique<QTimer>(), this);
    connect(timer, &QTimer::timeout, this, [this, id] {
      if (owner_ != nullptr) owner_->OnTimer(id);
    });
  }
  timer->start(static_cast<int>(period_ms));
  return true;
}

bool DialogWindow::stop_timer(unsigned id) {
  auto found = timers_.find(id);
  if (found == timers_.end() || !found->second->isActive()) return false;
  found->second->stop();
  return true;
}

bool DialogWindow::add_about_entry(unsigned command_id, std::string_view text) {
  if ((template_->style & style::kSysMenu) == 0) return false;
  // Linux window managers offer no system menu to extend: the entry goes on
  // the window's context menu, with F1 as its key.
  about_action_ = adopt(std::make_unique<QAction>(display_text(text)), this);
  about_action_->setShortcut(QKeySequence(Qt::Key_F1));
  about_action_->setShortcutContext(Qt::WindowShortcut);
  connect(about_action_, &QAction::triggered, this, [this, command_id] {
    if (owner_ != nullptr) owner_->OnSysCommand(command_id, 0);
  });
  addAction(about_action_);
  setContextMenuPolicy(Qt::ActionsContextMenu);
  return true;
}

void DialogWindow::end(int result) {
  owner_ = nullptr;
  for (auto& [id, timer] : timers_) timer->stop();
  done(result);
}

void DialogWindow::focus_first_tab_stop() {
  for (const ControlTemplate& control : template_->controls) {
    if ((control.style & style::kTabStop) == 0) continue;
    auto found = controls_.find(control.id);
    QWidget* widget = found != controls_.end() ? found->second : nullptr;
    if (widget != nullptr && widget->isEnabled()) {
      widget->setFocus(Qt::OtherFocusReason);
      return;
    }
  }
}

struct Icon::Data {
  std::vector<QImage> images;
};

void DialogWindow::set_icon(const Icon& icon, IconSize) {
  // Qt keeps one icon of several sizes for both uses.
  QIcon qicon;
  for (const QImage& image : icon.data()->images) qicon.addPixmap(QPixmap::fromImage(image));
  setWindowIcon(qicon);
}

std::string DialogWindow::control_text(int id) const {
  QWidget* widget = control(id);
  if (auto* label = qobject_cast<QLabel*>(widget)) return file_system_bytes(label->text());
  if (auto* button = qobject_cast<QPushButton*>(widget)) return file_system_bytes(button->text());
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return file_system_bytes(edit->text());
  if (auto* group = qobject_cast<QGroupBox*>(widget)) return file_system_bytes(group->title());
  return {};
}

void DialogWindow::set_control_text(int id, std::string_view text) {
  QWidget* widget = control(id);
  if (widget == nullptr) return;
  const QString shown = display_text(text, is_multi_line(id));
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(shown);
  } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
    button->setText(shown);
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    edit->setText(shown);
  } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    group->setTitle(shown);
  }
}

// --- the list ----------------------------------------------------------------

int ReportList::insert_column(int index, std::string_view heading, ColumnAlign align, int width) {
  ++columns_;
  setColumnCount(columns_);
  aligns_.insert(aligns_.begin() + index, align);
  QTreeWidgetItem* header = headerItem();
  // Later columns move one place to the right, with their rows' texts.
  for (int c = columns_ - 1; c > index; --c) {
    header->setText(c, header->text(c - 1));
    setColumnWidth(c, columnWidth(c - 1));
    for (int r = 0; r < topLevelItemCount(); ++r) {
      QTreeWidgetItem* row = topLevelItem(r);
      row->setText(c, row->text(c - 1));
      row->setTextAlignment(c, column_alignment(aligns_[static_cast<std::size_t>(c)]));
    }
  }
  header->setText(index, display_text(heading));
  header->setTextAlignment(index, column_alignment(align));
  setColumnWidth(index, width);
  for (int r = 0; r < topLevelItemCount(); ++r) {
    topLevelItem(r)->setText(index, QString());
    topLevelItem(r)->setTextAlignment(index, column_alignment(align));
  }
  return index;
}

int ReportList::insert_item(int index, std::string_view text) {
  auto row = std::make_unique<QTreeWidgetItem>();
  for (int c = 0; c < columns_; ++c) row->setTextAlignment(c, column_alignment(aligns_[static_cast<std::size_t>(c)]));
  row->setText(0, display_text(text));
  // The list owns its rows.
  insertTopLevelItem(index, row.release());
  return index;
}

bool ReportList::set_item_text(int item, int sub_item, std::string_view text) {
  topLevelItem(item)->setText(sub_item, display_text(text));
  return true;
}

std::string ReportList::item_text(int item, int sub_item) const {
  return file_system_bytes(topLevelItem(item)->text(sub_item));
}

std::string ReportList::column_heading(int column) const { return file_system_bytes(headerItem()->text(column)); }

// --- resources -------------------------------------------------------------

Icon::Icon() = default;
Icon::~Icon() = default;
Icon::Icon(Icon&&) noexcept = default;
Icon& Icon::operator=(Icon&&) noexcept = default;

Icon::Icon(int resource_id) {
  auto bytes = find_icon_data(resource_id);
  if (!bytes) return;
  QByteArray data(reinterpret_cast<const char*>(bytes->data()), static_cast<qsizetype>(bytes->size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "ico");
  auto loaded = std::make_unique<Data>();
  for (int i = 0; i < reader.imageCount(); ++i) {
    if (!reader.jumpToImage(i)) break;
    QImage image = reader.read();
    if (!image.isNull()) loaded->images.push_back(std::move(image));
  }
  if (!loaded->images.empty()) data_ = std::move(loaded);
}

bool Icon::empty() const { return data_ == nullptr; }

std::string load_string(int resource_id) {
  auto text = find_string_resource(resource_id);
  return text ? std::string(*text) : std::string();
}

// --- the toolkit's part of the shared code ------------------------------------

std::unique_ptr<ToolkitWindow> make_toolkit_window(CDialog& dialog) { return std::make_unique<DialogWindow>(dialog); }

UiCallGate::Post ui_thread_post() {
  return [](std::function<void()> job) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return false;
    return QMetaObject::invokeMethod(app, std::move(job), Qt::QueuedConnection);
  };
}

void CWinApp::Enable3dControls() {}

int run_toolkit_application(CWinApp& app, int argc, char** argv) {
  // Say plainly what is missing rather than leaving it to the toolkit's own
  // message about platform plugins.
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const auto set = [](const char* value) { return value != nullptr && *value != '\0'; };
  if (!set(platform) && !set(x11) && !set(wayland)) {
    std::fprintf(stderr,
                 "quarn: no display is available (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                 "The window needs an X11 or Wayland session; run it from a desktop session,\n"
                 "or over ssh -X, or under Xvfb (xvfb-run).\n");
    return 2;
  }
  int qt_argc = argc;
  QApplication application(qt_argc, argv);
  if (!app.app_name().empty()) QApplication::setApplicationName(QString::fromStdString(app.app_name()));
#ifdef QUARN_DESKTOP_FILE_NAME
  // Wayland compositors find the window's icon and name through the desktop
  // entry that this names; X11 ones match the window class instead.
  QGuiApplication::setDesktopFileName(QStringLiteral(QUARN_DESKTOP_FILE_NAME));
#endif
  if (!app.InitInstance()) return 0;
  return QApplication::exec();
}

}  // namespace quarn::ui
