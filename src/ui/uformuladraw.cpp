#include "ui/uformuladraw.h"

#include "evaluation/ccalcpolinom.h"
#include "evaluation/upolinomtext.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

const QChar MinusSign(0x2212);
const QChar TimesSign(0x00D7);
const QChar DotOperator(0x00B7);

// Superscripts are set at this part of the body size and raised by this part of the body ascent.
constexpr double SupScale = 0.7;
constexpr double SupRise = 0.45;

QString ReadableInt(int value) {
    QString text = QString::number(value);
    return value < 0 ? MinusSign + text.mid(1) : text;
}

// A small cursor over the formula text.
class Scanner {
public:
    explicit Scanner(const QString& text) : m_text(text) {}
    bool AtEnd() const { return m_pos >= m_text.size(); }
    QChar Peek() const { return AtEnd() ? QChar() : m_text[m_pos]; }
    bool Take(QChar c) {
        if (Peek() != c)
            return false;
        ++m_pos;
        return true;
    }
    QString Digits() {
        const qsizetype start = m_pos;
        while (!AtEnd() && Peek().isDigit())
            ++m_pos;
        return m_text.mid(start, m_pos - start);
    }

private:
    const QString& m_text;
    qsizetype m_pos = 0;
};

} // namespace

CFormulaExpr::CFormulaExpr(const QString& text) {
    m_parsed = Parse(text);
    if (!m_parsed)
        m_runs = {Run{text, false}};
}

// Grammar: term { ('+' | '-') term }, term = [sign] mantissa ['E' [sign] digits] ['*X' ['^' digits]].
bool CFormulaExpr::Parse(const QString& text) {
    Scanner in(text);
    QVector<Run> runs;
    bool first = true;
    while (!in.AtEnd()) {
        bool negative = false;
        if (in.Take('-'))
            negative = true;
        else if (!in.Take('+') && !first)
            return false;
        if (first) {
            if (negative)
                runs.push_back({QString(MinusSign), false});
        } else {
            runs.push_back({QStringLiteral(" %1 ").arg(negative ? MinusSign : QChar('+')), false});
        }
        first = false;

        QString mantissa = in.Digits();
        if (in.Take('.'))
            mantissa += '.' + in.Digits();
        if (mantissa.isEmpty() || mantissa == ".")
            return false;
        runs.push_back({mantissa, false});

        if (in.Take('E') || in.Take('e')) {
            bool expNegative = false;
            if (in.Take('-'))
                expNegative = true;
            else
                in.Take('+');
            const QString digits = in.Digits();
            if (digits.isEmpty() || digits.size() > 4)
                return false;
            const int exponent = digits.toInt() * (expNegative ? -1 : 1);
            // A zero exponent adds nothing a reader needs.
            if (exponent != 0) {
                runs.push_back({TimesSign + QStringLiteral("10"), false});
                runs.push_back({ReadableInt(exponent), true});
            }
        }

        if (in.Take('*')) {
            if (!in.Take('X') && !in.Take('x'))
                return false;
            runs.push_back({DotOperator + QStringLiteral("X"), false});
            if (in.Take('^')) {
                const QString digits = in.Digits();
                if (digits.isEmpty() || digits.size() > 4)
                    return false;
                const int power = digits.toInt();
                if (power != 1)
                    runs.push_back({ReadableInt(power), true});
            }
        }
    }
    if (runs.isEmpty())
        return false;
    m_runs = runs;
    return true;
}

void CFormulaExpr::SetCanvas(QPainter* canvas) {
    m_canvas = canvas;
}

void CFormulaExpr::SetFont(int pointSize, bool bold) {
    m_pointSize = std::max(1, pointSize);
    m_bold = bold;
}

CFormulaExpr::Metrics CFormulaExpr::Measure() const {
    Metrics m;
    m.body = m_canvas ? m_canvas->font() : QFont();
    m.body.setPointSize(m_pointSize);
    m.body.setBold(m_bold);
    m.sup = m.body;
    m.sup.setPointSizeF(m_pointSize * SupScale);

    QPaintDevice* device = m_canvas ? m_canvas->device() : nullptr;
    const QFontMetrics body = device ? QFontMetrics(m.body, device) : QFontMetrics(m.body);
    const QFontMetrics sup = device ? QFontMetrics(m.sup, device) : QFontMetrics(m.sup);

    const bool hasSup = std::any_of(m_runs.begin(), m_runs.end(), [](const Run& r) { return r.superscript; });
    m.rise = hasSup ? static_cast<int>(std::lround(body.ascent() * SupRise)) : 0;
    m.baseline = hasSup ? std::max(body.ascent(), m.rise + sup.ascent()) : body.ascent();
    const int below = hasSup ? std::max(body.descent(), sup.descent() - m.rise) : body.descent();
    m.height = m.baseline + below;
    return m;
}

int CFormulaExpr::RunWidth(const Run& run, const Metrics& m) const {
    QPaintDevice* device = m_canvas ? m_canvas->device() : nullptr;
    const QFont& font = run.superscript ? m.sup : m.body;
    const QFontMetrics fm = device ? QFontMetrics(font, device) : QFontMetrics(font);
    return fm.horizontalAdvance(run.text);
}

int CFormulaExpr::Width() const {
    const Metrics m = Measure();
    int width = 0;
    for (const Run& run : m_runs)
        width += RunWidth(run, m);
    return width;
}

int CFormulaExpr::Height() const {
    return Measure().height;
}

void CFormulaExpr::Draw(int x, int y) const {
    if (!m_canvas)
        return;
    const Metrics m = Measure();
    m_canvas->save();
    int pen = x;
    for (const Run& run : m_runs) {
        m_canvas->setFont(run.superscript ? m.sup : m.body);
        const int baseline = y + m.baseline - (run.superscript ? m.rise : 0);
        m_canvas->drawText(QPoint(pen, baseline), run.text);
        pen += RunWidth(run, m);
    }
    m_canvas->restore();
}

QString CFormulaExpr::PlainText() const {
    QString text;
    for (const Run& run : m_runs)
        text += (run.superscript ? QStringLiteral("^") : QString()) + run.text;
    return text;
}

void DrawPolinom(const CCalcPolinom& poly, QPainter& canvas, int x, int y, int& width, int& height) {
    width = 0;
    height = 0;
    const std::string text = PolinomText(poly);
    if (text.empty())
        return;
    CFormulaExpr expr(QString::fromStdString(text));
    expr.SetCanvas(&canvas);
    expr.SetFont(10, true);
    expr.Draw(x, y);
    width = expr.Width();
    height = expr.Height();
}
