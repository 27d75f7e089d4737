#pragma once

#include <QString>
#include <QUrl>
#include <optional>

// A URL reference kept exactly as it was written. Parsing only checks the syntax
// (RFC 3986, plus non-ASCII characters outside the host) and finds the parts; it
// never lower-cases, re-encodes or otherwise rewrites the text, so a host typed
// "LOCALHOST" stays "LOCALHOST". QUrl normalises, which is wrong for the
// address rules that compare hosts exactly.
class Url {
public:
    // Nothing when the text is not a URL reference: white space, control or
    // forbidden characters, a bad "%" escape, a bad port or IPv6 literal.
    static std::optional<Url> parse(const QString& text);

    const QString& text() const { return text_; }
    // Empty for a relative reference.
    const QString& scheme() const { return scheme_; }
    bool hasScheme() const { return !scheme_.isEmpty(); }
    // The host as written (an IPv6 literal without its brackets); nothing when
    // the reference has no "//" authority.
    const std::optional<QString>& host() const { return host_; }

    // The text with non-ASCII characters outside the host percent-encoded as
    // UTF-8: what goes on the wire.
    QByteArray toEncoded() const;
    // For Qt APIs that want a QUrl (opening a browser, say).
    QUrl toQUrl() const;

    friend bool operator==(const Url& a, const Url& b) { return a.text_ == b.text_; }

private:
    QString text_;
    QString scheme_;
    std::optional<QString> host_;
    qsizetype hostStart_ = -1;
    qsizetype hostEnd_ = -1;
};
