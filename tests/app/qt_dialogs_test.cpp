// The window's real file dialogs, as a person meets them: the filter entries read exactly as the
// commands wrote them, and a name typed without extension is checked for overwriting under the name
// that is written. Each test answers the modal dialog from inside its event loop.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QScreen>
#include <QTreeView>
#include <filesystem>
#include <functional>

#include "app/Unit1.h"
#include "tests/app/form_controls.h"
#include "tests/app/recording_dialogs.h"
#include "tests/app/suites.h"
#include "tests/support/temp_dir.h"

namespace {

// Runs `answer` on the file dialog shown next, once its event loop is running. Any other modal
// widget is closed, so that a test fails instead of waiting for a person.
void WhenFileDialog(std::function<void(QFileDialog*)> answer) {
  QTimer::singleShot(0, qApp, [answer = std::move(answer)] {
    QWidget* widget = QApplication::activeModalWidget();
    if (auto* dialog = qobject_cast<QFileDialog*>(widget)) return answer(dialog);
    if (widget != nullptr) widget->close();
  });
}

QStringList FilterEntries(QFileDialog* dialog) {
  QStringList entries;
  const auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
  if (combo == nullptr) return entries;
  for (int i = 0; i < combo->count(); ++i) entries << combo->itemText(i);
  return entries;
}

// What of the file dialog's lists a person cannot read whole: every title and entry of the file
// list wider than its column, columns beyond the list's width, place names wider than their list.
QStringList CutEntries(QFileDialog* dialog) {
  QStringList cut;
  auto* list = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
  auto* places = dialog->findChild<QAbstractItemView*>(QStringLiteral("sidebar"));
  if (list == nullptr || places == nullptr) return {QStringLiteral("no file list")};
  const QHeaderView* header = list->header();
  const QAbstractItemModel* files = list->model();
  for (int c = 0; c < header->count(); ++c) {
    if (header->sectionSizeHint(c) > header->sectionSize(c)) cut << files->headerData(c, Qt::Horizontal).toString();
    for (int row = 0; row < files->rowCount(list->rootIndex()); ++row) {
      const QModelIndex entry = files->index(row, c, list->rootIndex());
      if (list->sizeHintForIndex(entry).width() > header->sectionSize(c)) cut << entry.data().toString();
    }
  }
  if (header->length() > list->viewport()->width()) cut << QStringLiteral("the list's right columns");
  for (int row = 0; row < places->model()->rowCount(); ++row) {
    const QModelIndex place = places->model()->index(row, 0);
    if (places->sizeHintForIndex(place).width() > places->viewport()->width()) cut << place.data().toString();
  }
  return cut;
}

// How far the middle of `inner` lies from the middle of `outer`, across and down, in half pixels.
QPoint OffCentre(const QRect& inner, const QRect& outer) {
  return {inner.left() + inner.right() - outer.left() - outer.right(),
          inner.top() + inner.bottom() - outer.top() - outer.bottom()};
}

class TQtDialogsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TForm1> form;
  std::unique_ptr<TForm1Controls> ui;

  int Renders() const { return TForm1TestSeam::PreviewRenders(*form); }

 private slots:
  void init() {
    form = std::make_unique<TForm1>();
    ui = std::make_unique<TForm1Controls>(*form);
  }
  void cleanup() {
    ui.reset();
    form.reset();
  }

  // A desktop's own dialog would show only the text before the first parenthesis: "対応形式" and
  // two entries both reading "JPEG イメージファイル".
  void TheOpenDialogShowsItsEntriesWordForWord() {
    bool seen = false;
    bool native = true;
    QStringList entries;
    QString selected;
    WhenFileDialog([&](QFileDialog* dialog) {
      seen = true;
      native = !dialog->testOption(QFileDialog::DontUseNativeDialog);
      entries = FilterEntries(dialog);
      if (const auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
        selected = combo->currentText();
      dialog->reject();
    });
    const int renders = Renders();
    ui->actOpen->trigger();
    QVERIFY(seen);
    QVERIFY2(!native, "the desktop's dialog would cut the descriptions short");
    QCOMPARE(entries, (QStringList{QStringLiteral("対応形式 (*.bmp; *.jpg; *.jpeg; *.png; *.webp; *.heic; *.heif; *.avif)"),
                                   QStringLiteral("ビットマップ (*.bmp)"), QStringLiteral("すべてのファイル (*.jpg;*.jpeg)"),
                                   QStringLiteral("JPEG イメージファイル (*.jpg)"),
                                   QStringLiteral("JPEG イメージファイル (*.jpeg)"), QStringLiteral("PNG イメージファイル (*.png)"),
                                   QStringLiteral("WebP イメージファイル (*.webp)"),
                                   QStringLiteral("HEIF イメージファイル (*.heic;*.heif)"),
                                   QStringLiteral("AVIF イメージファイル (*.avif)")}));
    QCOMPARE(selected, entries.value(0));
    QCOMPARE(Renders(), renders);
    QCOMPARE(form->State().SourceImage.Width(), 1);
  }

  // Both file dialogs open wide enough to show their lists whole at the window's font, and write
  // sizes and dates in Japanese like the rest of the window.
  void FileDialogsShowTheirListsWholeInJapanese() {
    TempDir dir;
    PutFile(dir / "写真.bmp", std::vector<std::uint8_t>(307712, 0));
    std::filesystem::create_directory(dir / "フォルダー");
    const QString picture = QString::fromStdString(dir / "写真.bmp");
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    TFileDialogRequest request;
    request.Filter = QStringLiteral("すべてのファイル|*.*");
    request.FileName = picture;
    for (const bool save : {false, true}) {
      bool listed = false;
      QStringList cut;
      QString size, date, folderType;
      WhenFileDialog([&](QFileDialog* dialog) {
        auto* list = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
        listed = list != nullptr &&
                 QTest::qWaitFor([&] { return list->model()->rowCount(list->rootIndex()) == 2; }, 5000);
        cut = CutEntries(dialog);
        for (int row = 0; listed && row < 2; ++row) {
          const auto cell = [&](int column) {
            return list->model()->index(row, column, list->rootIndex()).data().toString();
          };
          if (cell(0) == QStringLiteral("フォルダー")) {
            folderType = cell(2);
          } else {
            size = cell(1);
            date = cell(3);
          }
        }
        dialog->reject();
      });
      TQtDialogs dialogs;
      save ? dialogs.SaveFile(form.get(), request) : dialogs.OpenFile(form.get(), request);
      QVERIFY(listed);
      QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral(" | "))));
      QCOMPARE(size, japanese.formattedDataSize(307712));  // 300.50 KiB
      QCOMPARE(date, japanese.toString(QFileInfo(picture).lastModified(), QLocale::ShortFormat));
      QCOMPARE(folderType, QStringLiteral("フォルダー"));
    }
  }

  // "third" is written as third.png, so an existing third.png must be asked about before the export
  // replaces it; answering no keeps the file.
  void TheSaveDialogAsksBeforeReplacingTheFileWithTheDefaultExtension() {
    TempDir dir;
    const std::vector<std::uint8_t> kept = {'k', 'e', 'e', 'p'};
    PutFile(dir / "third.png", kept);
    // The dialog opens in the folder of the last export, made here through answered dialogs.
    auto answered = std::make_unique<TRecordingDialogs>();
    answered->FileAnswers.push_back(QString::fromStdString(dir / "first.png"));
    form->SetDialogs(std::move(answered));
    ui->actExportPNG->trigger();
    form->SetDialogs(std::make_unique<TQtDialogs>());

    bool native = true;
    QString title;
    QStringList entries;
    QString question;
    WhenFileDialog([&](QFileDialog* dialog) {
      native = !dialog->testOption(QFileDialog::DontUseNativeDialog);
      title = dialog->windowTitle();
      entries = FilterEntries(dialog);
      auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      if (name == nullptr) return dialog->reject();
      name->setText(QStringLiteral("third"));
      QTimer::singleShot(0, qApp, [&] {
        if (auto* message = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
          question = message->text();
          message->button(QMessageBox::No)->click();
        }
      });
      static_cast<QDialog*>(dialog)->accept();  // asks about third.png; the answer no keeps the dialog open
      if (dialog->isVisible()) dialog->reject();
    });
    ui->actExportPNG->trigger();
    QVERIFY(!native);
    QCOMPARE(title, QStringLiteral("PNG形式で書き出し"));
    QCOMPARE(entries, (QStringList{QStringLiteral("PNG Format (*.png)"), QStringLiteral("すべてのファイル")}));
    QVERIFY2(question.contains(QStringLiteral("third.png")), qPrintable(question));
    QCOMPARE(FileBytes(dir / "third.png"), kept);
  }

  // The About box stands in the middle of the screen that holds the main window, not over the
  // window, wherever the window stands: here in the screen's bottom-right corner.
  void TheAboutBoxStandsInTheMiddleOfTheScreen() {
    form->SetDialogs(std::make_unique<TQtDialogs>());
    form->SetVersionFile(QStringLiteral(RFL_PROGRAM_FILE));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    const QRect area = form->screen()->availableGeometry();
    form->move(area.right() + 1 - form->frameGeometry().width(), area.bottom() + 1 - form->frameGeometry().height());
    QTRY_COMPARE(form->frameGeometry().bottomRight(), area.bottomRight());
    const QPoint windowOff = OffCentre(form->frameGeometry(), area);
    QVERIFY2(std::abs(windowOff.x()) > 40 && std::abs(windowOff.y()) > 40, "the window's middle is not the screen's");

    QString text;
    QRect box;
    QTimer::singleShot(0, qApp, [&] {
      QWidget* widget = QApplication::activeModalWidget();
      if (auto* message = qobject_cast<QMessageBox*>(widget)) {
        text = message->text();
        box = message->frameGeometry();
        message->button(QMessageBox::Ok)->click();
      } else if (widget != nullptr) {
        widget->close();
      }
    });
    ui->actAbout->trigger();
    QVERIFY2(text.startsWith(QStringLiteral("ルフレミナ Version1.06")), qPrintable(text));
    const QPoint off = OffCentre(box, area);
    QVERIFY2(std::abs(off.x()) <= 1 && std::abs(off.y()) <= 1,
             qPrintable(QStringLiteral("the box stands at %1, %2 (%3 x %4) on %5 x %6")
                            .arg(box.left()).arg(box.top()).arg(box.width()).arg(box.height())
                            .arg(area.width()).arg(area.height())));
  }
};

}  // namespace

std::unique_ptr<QObject> MakeQtDialogTests() { return std::make_unique<TQtDialogsTest>(); }

#include "qt_dialogs_test.moc"
