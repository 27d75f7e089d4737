#pragma once

#include "platform/TextRecognizer.h"

#include <QImage>
#include <QSet>
#include <QString>
#include <optional>
#include <vector>

// Reads the text of a screenshot and compares texts. The recogniser belongs to
// the platform; the reading order, the title line and the word measures here are
// pure. Lengths are counted in user-perceived characters.
namespace OCR {

// Longest text one read returns.
constexpr qsizetype maxChars = 2000;
// Longest title line.
constexpr qsizetype maxTitle = 100;
// Texts at least this similar count as the same text.
constexpr double nearDuplicateSimilarity = 0.85;

struct Reading {
    QString text;                 // lines in reading order, joined with "\n"
    std::optional<QString> title; // the screen's heading
};

// Blocks while the recogniser runs; call off the main thread. Fast is for the
// per-frame check whether the text changed; accurate gives the stored text. A
// failure is logged and reads as no text.
Reading read(const QImage& image, bool fast = false);
QString text(const QImage& image, bool fast = false);

// Top line first; boxes on the same line (vertical centres within half the
// smaller height) left to right; otherwise the recogniser's order.
std::vector<TextLine> readingOrder(std::vector<TextLine> lines);
// Text and title of lines already in reading order. The title is the tallest line
// with at least 4 letters, the earliest on equal heights.
Reading compose(const std::vector<TextLine>& lines);

// s unchanged when it has at most n characters, else its first n.
QString clip(const QString& s, qsizetype n);
// The lower-cased runs of letters, marks and digits of at least 2 characters.
QSet<QString> words(const QString& s);
// Jaccard index of the word sets; 1 when both have no words.
double similarity(const QString& a, const QString& b);
// Never true without another text.
bool isNearDuplicate(const QString& t, const std::optional<QString>& other);

} // namespace OCR
