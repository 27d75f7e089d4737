#pragma once

#include "core/Url.h"

#include <QString>
#include <optional>

// What the menu says about filing and uploading: the one line of the latest step.
struct UploadState {
    enum class Kind { idle, busy, saved, failed };

    Kind kind = Kind::idle;
    // busy: what runs; saved and failed: the session's title.
    QString text;
    // failed: why.
    QString reason;
    // saved: the session's web page.
    std::optional<Url> page;

    static UploadState idle() { return {}; }
    static UploadState busy(const QString& text) { return {Kind::busy, text, {}, {}}; }
    static UploadState saved(const QString& title, const std::optional<Url>& page)
    {
        return {Kind::saved, title, {}, page};
    }
    static UploadState failed(const QString& title, const QString& reason) { return {Kind::failed, title, reason, {}}; }

    friend bool operator==(const UploadState&, const UploadState&) = default;
};
