// The general error handler's text rule, and the dialogs' filter parsing and file-name extensions.
#include <QTest>

#include "app/dialogs.h"
#include "app/error_handler.h"
#include "tests/app/suites.h"
#include "toolkit/errors.h"

namespace {

class TErrorHandlerTest : public QObject {
  Q_OBJECT
 private slots:
  void AppendsAPeriodAfterCharactersAboveIt() {
    QCOMPARE(ErrorBoxText(QStringLiteral("ファイル a.bmp は開けません")), QStringLiteral("ファイル a.bmp は開けません."));
    QCOMPARE(ErrorBoxText(QStringLiteral("JPEG エラー #42")), QStringLiteral("JPEG エラー #42."));
    QCOMPARE(ErrorBoxText(QStringLiteral("Invalid chunk")), QStringLiteral("Invalid chunk."));
    // Characters that sort at or below "." are left alone, and so is an empty text.
    QCOMPARE(ErrorBoxText(QStringLiteral("Done.")), QStringLiteral("Done."));
    QCOMPARE(ErrorBoxText(QStringLiteral("Stop!")), QStringLiteral("Stop!"));
    QCOMPARE(ErrorBoxText(QStringLiteral("a-")), QStringLiteral("a-"));
    QCOMPARE(ErrorBoxText(QString()), QString());
  }

  void ReadsTheMessageOfAnyException() {
    QCOMPARE(ExceptionMessage(std::make_exception_ptr(EReadError(SReadError))), QString::fromUtf8(SReadError));
    QCOMPARE(ExceptionMessage(std::make_exception_ptr(std::bad_alloc())), QStringLiteral("メモリが不足しています"));
    QVERIFY(!ExceptionMessage(std::make_exception_ptr(42)).isEmpty());
  }

  void ParsesRegistryFilters() {
    const std::vector<TFileFilter> entries =
        ParseFilter(QStringLiteral("対応形式 (*.bmp; *.jpg; *.jpeg)|*.bmp;*.jpg;*.jpeg|ビットマップ (*.bmp)|*.bmp|dangling"));
    QCOMPARE(entries.size(), std::size_t(2));
    QCOMPARE(entries[0].Description, QStringLiteral("対応形式 (*.bmp; *.jpg; *.jpeg)"));
    QCOMPARE(entries[0].Patterns, QStringLiteral("*.bmp;*.jpg;*.jpeg"));
    QCOMPARE(entries[1], (TFileFilter{QStringLiteral("ビットマップ (*.bmp)"), QStringLiteral("*.bmp")}));
    QVERIFY(ParseFilter(QString()).empty());
  }

  void ReplacesTheExtensionOfTheNameOnly() {
    QCOMPARE(WithExtension(QStringLiteral("/d/trap.bmp"), QStringLiteral("png")), QStringLiteral("/d/trap.png"));
    QCOMPARE(WithExtension(QStringLiteral("/d/v1.2.PNG"), QStringLiteral("bmp")), QStringLiteral("/d/v1.2.bmp"));
    QCOMPARE(WithExtension(QStringLiteral("/d.old/trap"), QStringLiteral("png")), QStringLiteral("/d.old/trap.png"));
  }
};

}  // namespace

std::unique_ptr<QObject> MakeErrorHandlerTests() { return std::make_unique<TErrorHandlerTest>(); }

#include "error_handler_test.moc"
