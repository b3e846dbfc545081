// Number patterns of the edits and tables, and the reading of stored sample numbers written by
// this and earlier versions (grouping, comma decimals, parentheses).

#include "ui/unumberformat.h"

#include <QLocale>
#include <QTest>

#include <cmath>

class TestSamplesFormat : public QObject {
    Q_OBJECT
private slots:
    void formatNumber_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("decimal");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* name, double v, const char* p, const char* e, const char* d = ".",
                      const char* g = ",") {
            QTest::newRow(name) << v << QString(p) << QString(d) << QString(g) << QString(e);
        };
        row("grouped thousand", 1000, ",0.##;(,0)", "1,000");
        row("grouped million with decimals", 1234567.891, ",0.##;(,0)", "1,234,567.89");
        row("optional decimals dropped", 5, ",0.##;(,0)", "5");
        row("one optional decimal", 2.5, ",0.##;(,0)", "2.5");
        row("four optional decimals", 0.123456, ",0.####;(,0)", "0.1235");
        row("negative section has no decimals", -1.5, ",0.##;(,0)", "(2)");
        row("negative section grouped", -12345.4, ",0.##;(,0)", "(12,345)");
        row("negative rounding to zero shows zero", -0.3, ",0.##;(,0)", "0");
        row("two to four decimals, two", 2.5, "0.00##", "2.50");
        row("two to four decimals, four", 1.23456, "0.00##", "1.2346");
        row("fixed two", 301.5, "0.00", "301.50");
        row("fixed one, negative without section", -12.34, "0.0", "-12.3");
        row("minus zero is zero", -0.001, "0.00", "0.00");
        row("half away from zero", 0.125, "0.00", "0.13");
        row("rounding on the decimal form", 2.675, "0.00", "2.68");
        row("carry into a new digit", 9.995, "0.00", "10.00");
        row("zero", 0, ",0.##;(,0)", "0");
        row("zero section", 0, "0.0;-0.0;'nil'", "nil");
        row("literal text around", 3.14159, "'T=' 0.00 K", "T= 3.14 K");
        row("comma decimal, blank grouping", 1234.5, ",0.##", "1 234,5", ",", " ");
        row("comma decimal fixed", 2.5, "0.00", "2,50", ",", ".");
        row("no grouping wanted", 1000, "0.##", "1000", ".", "");
        row("huge", 1e20, ",0", "100,000,000,000,000,000,000");
        row("not a number", std::nan(""), "0.00", "NAN");
    }
    void formatNumber() {
        QFETCH(double, value);
        QFETCH(QString, pattern);
        QFETCH(QString, decimal);
        QFETCH(QString, group);
        QFETCH(QString, expected);
        const TNumberSeparators sep{decimal.toStdString(), group.toStdString()};
        QCOMPARE(QString::fromStdString(FormatNumber(value, pattern.toStdString(), sep)), expected);
    }

    void patternMaxDecimals() {
        QCOMPARE(PatternMaxDecimals(",0.##;(,0)"), 2);
        QCOMPARE(PatternMaxDecimals(",0.####;(,0)"), 4);
        QCOMPARE(PatternMaxDecimals("0.00##"), 4);
        QCOMPARE(PatternMaxDecimals("0"), 0);
    }

    // One number as the operator types it or an older list stored it.
    void parseLooseNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("hint");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<double>("expected");
        auto row = [](const char* t, char hint, bool ok, double e) {
            QTest::newRow(t) << QString::fromUtf8(t) << int(hint) << ok << e;
        };
        row("1000", 0, true, 1000);
        row("2.5", 0, true, 2.5);
        row("2,5", 0, true, 2.5);
        row("0,125", 0, true, 0.125);
        row("1.125", 0, true, 1.125); // what this program writes for a 1.125 mm wire
        row("1,000", 0, true, 1000);  // grouping of the display format
        row("1.000", 0, true, 1000);  // a decimal never ends in zero in these formats
        row("1,125", ',', true, 1.125);
        row("1.000", '.', true, 1.0);
        row("1,234,567.89", 0, true, 1234567.89);
        row("1.234.567,89", 0, true, 1234567.89);
        row("1\xC2\xA0"
            "000,5",
            ',', true, 1000.5);
        row("(2)", 0, true, -2);
        row("-3.5", 0, true, -3.5);
        row("+4", 0, true, 4);
        row("1e-3", 0, true, 0.001);
        row("", 0, false, 0);
        row("-", 0, false, 0);
        row("abc", 0, false, 0);
        row("1,2,3", 0, false, 0);
        row("1.5,3", 0, false, 0);
        row("-(2)", 0, false, 0);
        row("1e999", 0, false, 0);
    }
    void parseLooseNumber() {
        QFETCH(QString, text);
        QFETCH(int, hint);
        QFETCH(bool, ok);
        QFETCH(double, expected);
        const std::optional<double> value = ParseLooseNumber(text.toStdString(), static_cast<char>(hint));
        QCOMPARE(value.has_value(), ok);
        if (ok)
            QCOMPARE(*value, expected);
    }

    // A whole stored entry: the decimal separator of one number decides the ambiguous others.
    void parseLooseNumbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // values joined by blanks, or "-" for unreadable
        QTest::newRow("written by this program") << "2.5 2.5 5 1000 0.1 40"
                                                 << "2.5 2.5 5 1000 0.1 40";
        QTest::newRow("point decimals, comma grouping") << "2.5 2.5 5 1,000 0.1 40"
                                                        << "2.5 2.5 5 1000 0.1 40";
        QTest::newRow("comma decimals, point grouping") << "2,5 2,5 5 1.000 0,1 40"
                                                        << "2.5 2.5 5 1000 0.1 40";
        QTest::newRow("comma decimals decide 1,125") << "2,5 1 1 1 1,125 1"
                                                     << "2.5 1 1 1 1.125 1";
        QTest::newRow("tabs and extra blanks") << "  1\t2  3 4 5 6 "
                                               << "1 2 3 4 5 6";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("a word") << "1 2 x 4 5 6"
                                << "-";
    }
    void parseLooseNumbers() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const auto values = ParseLooseNumbers(text.toStdString());
        if (expected == "-") {
            QVERIFY(!values);
            return;
        }
        QVERIFY(values);
        QStringList got;
        for (double v : *values)
            got << QString::number(v, 'g', QLocale::FloatingPointShortest);
        QCOMPARE(got.join(' '), expected);
    }
};

QTEST_APPLESS_MAIN(TestSamplesFormat)
#include "test_samples_format.moc"
