#include "evaluation/ccalcpolinom.h"
#include "ui/uformuladraw.h"

#include <QImage>
#include <QPainter>
#include <QTest>

namespace {

// The box of the pixels that are not white; empty when nothing was drawn.
QRect InkBox(const QImage& image) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 200)
                box |= QRect(x, y, 1, 1);
    return box;
}

QImage WhiteImage() {
    QImage image(900, 80, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

} // namespace

class TestFormulaDraw : public QObject {
    Q_OBJECT
private slots:
    void typesetsPowersAndExponents_data();
    void typesetsPowersAndExponents();
    void drawsInsideTheReportedBoxAtTopLeft();
    void superscriptsMakeTheFormulaTaller();
    void drawPolinomUsesBoldTenAndSkipsUnfitted();
};

void TestFormulaDraw::typesetsPowersAndExponents_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("parsed");
    QTest::addColumn<QString>("plain"); // '^' marks a superscript run
    const QString minus(QChar(0x2212));
    const QString times(QChar(0x00D7));
    const QString dot(QChar(0x00B7));
    QTest::newRow("degree 0") << "+5.0000000E+00" << true << "5.0000000";
    QTest::newRow("negative constant")
        << "-1.2300000E-04" << true << minus + "1.2300000" + times + "10^" + minus + "4";
    QTest::newRow("degree 2") << "+1.5000000E+00*X^2-2.5000000E-01*X^1+3.0000000E+02" << true
                              << "1.5000000" + dot + "X^2 " + minus + " 2.5000000" + times + "10^" + minus +
                                     "1" + dot + "X + 3.0000000" + times + "10^2";
    QTest::newRow("zero coefficient kept")
        << "+0.0000000E+00*X^1+1.0000000E+00" << true << "0.0000000" + dot + "X + 1.0000000";
    QTest::newRow("not a formula") << "+INF*X^1" << false << "+INF*X^1";
    QTest::newRow("dangling operator") << "+1.0E+00*" << false << "+1.0E+00*";
}

void TestFormulaDraw::typesetsPowersAndExponents() {
    QFETCH(QString, text);
    QFETCH(bool, parsed);
    QFETCH(QString, plain);
    const CFormulaExpr expr(text);
    QCOMPARE(expr.IsParsed(), parsed);
    QCOMPARE(expr.PlainText(), plain);
}

void TestFormulaDraw::drawsInsideTheReportedBoxAtTopLeft() {
    for (const QString text : {"+1.5000000E+00*X^2-2.5000000E-01*X^1+3.0000000E+02", "not a formula"}) {
        QImage image = WhiteImage();
        QPainter painter(&image);
        painter.setPen(Qt::black);
        CFormulaExpr expr(text);
        expr.SetCanvas(&painter);
        expr.SetFont(10, true);
        expr.Draw(12, 9);
        const QRect reported(12, 9, expr.Width(), expr.Height());
        painter.end();

        const QRect ink = InkBox(image);
        QVERIFY(!ink.isEmpty());
        QVERIFY2(reported.contains(ink), qPrintable(text));
        // Top-left aligned: the ink starts right at the given corner.
        QVERIFY(ink.left() - 12 <= 3);
        QVERIFY(ink.top() - 9 <= 4);
        QVERIFY(reported.right() - ink.right() <= 4);
    }
}

void TestFormulaDraw::superscriptsMakeTheFormulaTaller() {
    QImage image = WhiteImage();
    QPainter painter(&image);
    CFormulaExpr flat("+5.0000000E+00");
    CFormulaExpr raised("+5.0000000E+00*X^3");
    for (CFormulaExpr* e : {&flat, &raised}) {
        e->SetCanvas(&painter);
        e->SetFont(10, true);
    }
    QVERIFY(raised.Height() > flat.Height());
    QVERIFY(raised.Width() > flat.Width());
}

void TestFormulaDraw::drawPolinomUsesBoldTenAndSkipsUnfitted() {
    QImage image = WhiteImage();
    QPainter painter(&image);
    painter.setPen(Qt::black);
    QFont font = painter.font();
    font.setPointSize(30);
    font.setBold(false);
    painter.setFont(font);

    int width = -1;
    int height = -1;
    const CCalcPolinom unfitted;
    DrawPolinom(unfitted, painter, 0, 0, width, height);
    QCOMPARE(width, 0);
    QCOMPARE(height, 0);

    CCalcPolinom line;
    const double x[] = {1.0, 2.0};
    const double y[] = {1.0, 3.0};
    QVERIFY(line.Fit(1, x, 2, y));
    DrawPolinom(line, painter, 0, 0, width, height);

    CFormulaExpr same("+2.0000000E+00*X^1-1.0000000E+00");
    same.SetCanvas(&painter);
    same.SetFont(10, true);
    QCOMPARE(width, same.Width());
    QCOMPARE(height, same.Height());
    // The painter's own size 30 is not used, and its font is left as it was.
    same.SetFont(30, false);
    QVERIFY(height < same.Height());
    QCOMPARE(painter.font().pointSize(), 30);
}

QTEST_MAIN(TestFormulaDraw)
#include "test_resultspage_formula.moc"
