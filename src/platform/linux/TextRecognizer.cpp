// Tesseract 5 with its LSTM English model. Tesseract parallelises with OpenMP,
// which on a small machine makes every page several times slower: each thread
// that reads allows no active parallel region before its first engine starts.
#include "platform/TextRecognizer.h"

#include <omp.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <array>
#include <memory>
#include <string>

namespace TextRecognizer {

namespace {

// The fast mode reads full screens at half size. Its cost is bounded (on a
// text-heavy screen about a tenth of an accurate read), at the price of text
// smaller than about 20 px, which it does not see; the accurate mode reads every
// image at its own size, as the tesseract command line does.
constexpr int fastHalfMinWidth = 1280;
// Screenshots carry no resolution; this is a desktop screen's.
constexpr int screenDpi = 96;

std::unique_ptr<tesseract::TessBaseAPI> start(Mode mode)
{
    // A per-thread setting (OpenMP's max-active-levels): Tesseract's parallel
    // loops run on this thread alone, whatever they ask for. The environment's
    // OMP_THREAD_LIMIT would do the same, but OpenMP reads it only as it loads.
    omp_set_max_active_levels(0);
    auto api = std::make_unique<tesseract::TessBaseAPI>();
    std::vector<std::string> names;
    std::vector<std::string> values;
    if (mode == Mode::Fast) {
        // No language correction: the word lists are not even loaded.
        for (const char* dawg : {"load_system_dawg", "load_freq_dawg", "load_punc_dawg", "load_number_dawg",
                                 "load_unambig_dawg", "load_bigram_dawg"}) {
            names.emplace_back(dawg);
            values.emplace_back("0");
        }
    }
    if (api->Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values, false) != 0)
        throw Error("the English text model could not be loaded (is tesseract-ocr-eng installed?)");
    api->SetPageSegMode(tesseract::PSM_AUTO);
    // Tesseract's own warnings ("Image too small to scale", …) are not for our users.
    api->SetVariable("debug_file", "/dev/null");
    return api;
}

tesseract::TessBaseAPI& engine(Mode mode)
{
    // One engine per thread and mode: loading the model costs about 0.1 s, and an
    // engine must not be shared between threads.
    thread_local std::array<std::unique_ptr<tesseract::TessBaseAPI>, 2> engines;
    auto& slot = engines[mode == Mode::Fast ? 1 : 0];
    if (!slot)
        slot = start(mode);
    return *slot;
}

QString lineText(tesseract::ResultIterator& it)
{
    const std::unique_ptr<char[]> raw(it.GetUTF8Text(tesseract::RIL_TEXTLINE));
    if (!raw)
        return {};
    QString text = QString::fromUtf8(raw.get());
    // Tesseract ends every line with a line break of its own.
    while (text.endsWith(u'\n'))
        text.chop(1);
    return text;
}

} // namespace

std::vector<TextLine> recognize(const QImage& image, Mode mode)
{
    if (image.isNull() || image.width() < 1 || image.height() < 1)
        throw Error("the image is empty");

    QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    double scale = 1.0;
    if (mode == Mode::Fast && gray.width() >= fastHalfMinWidth) {
        scale = 0.5;
        gray = gray.scaled(gray.width() / 2, gray.height() / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }

    tesseract::TessBaseAPI& api = engine(mode);
    api.SetImage(gray.constBits(), gray.width(), gray.height(), 1, int(gray.bytesPerLine()));
    api.SetSourceResolution(int(screenDpi * scale));
    if (api.Recognize(nullptr) != 0) {
        api.Clear();
        throw Error("the text recogniser could not read the image");
    }

    std::vector<TextLine> lines;
    const double w = gray.width();
    const double h = gray.height();
    const std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (it && !it->Empty(tesseract::RIL_TEXTLINE)) {
        do {
            const QString text = lineText(*it);
            int left = 0, top = 0, right = 0, bottom = 0;
            if (text.trimmed().isEmpty() || !it->BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom))
                continue; // a line without a string
            lines.push_back({
                .text = text,
                .x = left / w,
                .y = 1.0 - bottom / h,
                .width = (right - left) / w,
                .height = (bottom - top) / h,
            });
        } while (it->Next(tesseract::RIL_TEXTLINE));
    }
    api.Clear(); // drop the page, keep the model
    return lines;
}

} // namespace TextRecognizer
