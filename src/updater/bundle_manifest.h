#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <optional>

namespace qb {

// A signed bundle carries Contents/_CodeSignature/CodeResources: one line per file and
// link of the bundle outside _CodeSignature, "SHA-256 (64 lower-case hex digits), two
// blanks, path relative to the bundle", sorted by the bytes of the path; a link's digest
// is that of its target text. CodeResources.sig beside it is a detached OpenPGP
// signature of that file. packaging/sign-bundle.sh writes both.
inline constexpr const char* kCodeSignatureDir = "Contents/_CodeSignature";
inline constexpr const char* kCodeResources = "Contents/_CodeSignature/CodeResources";
inline constexpr const char* kCodeResourcesSig = "Contents/_CodeSignature/CodeResources.sig";

using Manifest = QMap<QByteArray, QByteArray>;  // relative path -> hex digest

// Reads a manifest; nothing (and the reason) when a line is malformed, a path is absolute
// or climbs with "..", or the lines are not strictly sorted.
std::optional<Manifest> parseManifest(const QByteArray& text, QString* why);

// The manifest the bundle's current contents give. Fails on anything but files, folders
// and links inside the bundle: a link leading outside it, a device or pipe, a name with a
// line break, or a _CodeSignature folder holding more than its two files.
std::optional<Manifest> scanBundle(const QString& bundle, QString* why);

// Whether a link at `linkPath` (relative to the bundle) with `target` stays inside it.
bool linkStaysInside(const QByteArray& linkPath, const QByteArray& target);

// Compares the signed manifest with the bundle; the first difference goes to `why`.
bool manifestMatches(const Manifest& signedManifest, const Manifest& actual, QString* why);

}  // namespace qb
