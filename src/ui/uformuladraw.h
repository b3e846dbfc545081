#pragma once

#include <QFont>
#include <QString>
#include <QVector>

class CCalcPolinom;
class QPainter;

// A small typesetter for the formula text of a polynomial such as
// "+1.5000000E+00*X^2-2.5000000E-01*X^1+3.0000000E+02". It draws the powers of X and the decimal
// exponents as real superscripts: 1.5000000·X² − 2.5000000×10⁻¹·X + 3.0000000×10².
// A text it cannot read is drawn as it stands, so a formula is never lost to the layout.
class CFormulaExpr {
public:
    explicit CFormulaExpr(const QString& text);

    // The painter to lay out and draw with (its device decides the font metrics); not owned.
    void SetCanvas(QPainter* canvas);
    // Point size and weight of the body text; the superscripts are set smaller.
    void SetFont(int pointSize, bool bold);

    // Draws with the top-left corner of the formula at (x, y).
    void Draw(int x, int y) const;

    // Size of the drawn formula in pixels, for the current canvas and font.
    int Width() const;
    int Height() const;

    // Whether the text had the syntax of a formula (false: it is drawn as plain text).
    bool IsParsed() const { return m_parsed; }
    // The laid-out text without the raising, e.g. "1.5000000·X2 − 2.5000000×10-1·X + ..." with
    // superscript runs marked by '^' in front: for tests and accessibility.
    QString PlainText() const;

private:
    struct Run {
        QString text;
        bool superscript = false;
    };
    struct Metrics {
        QFont body, sup;
        int rise = 0;     // baseline shift of a superscript
        int baseline = 0; // distance from the top to the body baseline
        int height = 0;
    };

    Metrics Measure() const;
    int RunWidth(const Run& run, const Metrics& m) const;
    bool Parse(const QString& text);

    QVector<Run> m_runs;
    bool m_parsed = false;
    QPainter* m_canvas = nullptr;
    int m_pointSize = 10;
    bool m_bold = true;
};

// Draws the formula of a fitted polynomial with its top-left corner at (x, y), font size 10 and
// bold, and reports the drawn width and height. A polynomial without a usable fit draws nothing
// and reports 0 x 0.
void DrawPolinom(const CCalcPolinom& poly, QPainter& canvas, int x, int y, int& width, int& height);
