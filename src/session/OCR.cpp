#include "session/OCR.h"

#include "core/Log.h"
#include "core/Strings.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace OCR {

namespace {

// Boxes come from pixel edges divided by the image size; the slack keeps a gap of
// exactly half a height on the same line despite rounding.
constexpr double rounding = 1e-9;

bool sameLine(const TextLine& a, const TextLine& b)
{
    return std::abs(a.midY() - b.midY()) <= 0.5 * std::min(a.height, b.height) + rounding;
}

int letterCount(const QString& s)
{
    int letters = 0;
    for (const char32_t c : s.toUcs4()) {
        if (QChar::isLetter(c))
            ++letters;
    }
    return letters;
}

} // namespace

std::vector<TextLine> readingOrder(std::vector<TextLine> lines)
{
    // "Same line" is not transitive (a~b and b~c while a and c are apart), so it
    // cannot be a sort comparison. Group first: walk the boxes from the top down;
    // a box joins the current line when it is on the same line as that line's
    // first box, else it starts the next line. Then order each line left to right.
    std::vector<size_t> order(lines.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return lines[a].midY() > lines[b].midY(); });

    std::vector<std::vector<size_t>> rows;
    for (const size_t i : order) {
        if (!rows.empty() && sameLine(lines[rows.back().front()], lines[i]))
            rows.back().push_back(i);
        else
            rows.push_back({i});
    }

    std::vector<TextLine> out;
    out.reserve(lines.size());
    for (auto& row : rows) {
        // Equal left edges keep the recogniser's order.
        std::sort(row.begin(), row.end(),
                  [&](size_t a, size_t b) { return lines[a].x < lines[b].x || (lines[a].x == lines[b].x && a < b); });
        for (const size_t i : row)
            out.push_back(std::move(lines[i]));
    }
    return out;
}

Reading compose(const std::vector<TextLine>& lines)
{
    QStringList texts;
    const TextLine* tallest = nullptr;
    for (const TextLine& line : lines) {
        texts << line.text;
        if (letterCount(line.text) >= 4 && (!tallest || line.height > tallest->height))
            tallest = &line;
    }
    Reading reading{clip(texts.join(u'\n'), maxChars), std::nullopt};
    if (tallest)
        reading.title = clip(tallest->text.trimmed(), maxTitle);
    return reading;
}

Reading read(const QImage& image, bool fast)
{
    try {
        const auto mode = fast ? TextRecognizer::Mode::Fast : TextRecognizer::Mode::Accurate;
        return compose(readingOrder(TextRecognizer::recognize(image, mode)));
    } catch (const std::exception& e) {
        slog("ocr: " + QString::fromUtf8(e.what()));
        return {};
    }
}

QString text(const QImage& image, bool fast)
{
    return read(image, fast).text;
}

QString clip(const QString& s, qsizetype n)
{
    return leftGraphemes(s, n);
}

QSet<QString> words(const QString& s)
{
    QSet<QString> out;
    QString piece;
    const auto flush = [&] {
        if (graphemeCount(piece) >= 2)
            out.insert(piece);
        piece.clear();
    };
    for (const char32_t c : s.toLower().toUcs4()) {
        if (isAlphanumeric(c))
            piece += QString::fromUcs4(&c, 1);
        else
            flush();
    }
    flush();
    return out;
}

double similarity(const QString& a, const QString& b)
{
    const QSet<QString> A = words(a);
    const QSet<QString> B = words(b);
    if (A.isEmpty() && B.isEmpty())
        return 1.0;
    const qsizetype common = QSet<QString>(A).intersect(B).size();
    const qsizetype all = A.size() + B.size() - common;
    return all == 0 ? 0.0 : double(common) / double(all);
}

bool isNearDuplicate(const QString& t, const std::optional<QString>& other)
{
    return other && similarity(t, *other) >= nearDuplicateSimilarity;
}

} // namespace OCR
