// Renders the main window in the middle of a scan of the sample tree to a
// PNG, for the documentation. Each remedy is slowed down so that the picture
// catches the scan running, with rows listed and the button reading "Stop".
// Usage: quarn-screenshot OUTPUT.png   (QT_QPA_PLATFORM=offscreen works)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

#include "tools/sample_tree.h"
#include "ui/cleaner_dlg.h"
#include "ui/qt/dialog_window.h"

namespace {

class SlowCleanerDlg : public quarn::ui::CCleanerDlg {
 public:
  SlowCleanerDlg() : CCleanerDlg(nullptr, std::nullopt) {}

 protected:
  quarn::ScanStatus ApplyRemedy(quarn::CVirusHandler& handler, const quarn::platform::FileAt& file) override {
    QThread::msleep(250);
    return CCleanerDlg::ApplyRemedy(handler, file);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  // A short root, so that the list's Path column shows whole folders.
  QTemporaryDir folder(QDir::temp().filePath(QStringLiteral("q-XXXXXX")));
  if (!folder.isValid()) return 1;
  const std::string root = folder.path().toStdString();
  const quarn::sample::SampleTree tree = quarn::sample::write_sample_tree(root);
  const int infected = tree.expected_counts().infected;

  SlowCleanerDlg dlg;
  if (!dlg.Create()) return 1;
  dlg.m_editStartPath.set_text(root);
  auto* button = qobject_cast<QPushButton*>(dlg.window()->control(IDOK));
  button->click();

  // Wait until about half of the rows are in, and one more display tick.
  QElapsedTimer clock;
  clock.start();
  while (dlg.m_listResults.item_count() < infected / 2 && clock.elapsed() < 60000) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  const qint64 shown_at = clock.elapsed();
  while (clock.elapsed() < shown_at + 450) QApplication::processEvents(QEventLoop::AllEvents, 50);

  const bool saved = dlg.window()->grab().save(QString::fromLocal8Bit(argv[1]), "PNG");
  std::printf("%s: %d of %d rows, button \"%s\"\n", argv[1], dlg.m_listResults.item_count(), infected,
              dlg.m_buttonAction.get_text().c_str());
  return saved ? 0 : 1;
}
