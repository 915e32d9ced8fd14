// The signed manifest of a bundle: its format, links, and agreement with the signing script.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

#include "update_fixtures.h"
#include "updater/bundle_manifest.h"

namespace qb {
namespace {

const QByteArray kHex(64, 'a');
const QByteArray kFile = "f 0755 " + kHex + "  ";
const QByteArray kDir = "d 0755 " + QByteArray(64, '-') + "  ";

TEST(BundleManifest, ParseRules) {
  const struct {
    QByteArray text;
    const char* why;  // nullptr: accepted
  } rows[] = {
      {kDir + "Contents\n" + kFile + "Contents/Info.plist\n" + "l 0777 " + kHex + "  a b/c d\n", nullptr},
      {QByteArray(), "empty"},
      {kFile + "Contents/Info.plist", "line break"},
      {"f 0755 " + kHex + " x\n", "malformed"},
      {"x 0755 " + kHex + "  x\n", "malformed"},                 // unknown type
      {"f 4755 " + kHex + "  x\n", "malformed"},                 // setuid
      {"f 0777 " + kHex + "  x\n", "malformed"},                 // world-writable
      {"l 0755 " + kHex + "  x\n", "malformed"},
      {"d 0755 " + kHex + "  x\n", "malformed"},                 // a folder has no digest
      {kFile + "/etc/passwd\n", "malformed"},
      {kFile + "Contents/../../x\n", "malformed"},
      {kFile + "Contents/_CodeSignature/CodeResources\n", "malformed"},
      {kFile + "b\n" + kFile + "a\n", "out of order"},
  };
  for (const auto& r : rows) {
    QString why;
    const auto manifest = parseManifest(r.text, &why);
    EXPECT_EQ(manifest.has_value(), !r.why) << r.text.toStdString() << why.toStdString();
    if (r.why) {
      EXPECT_TRUE(why.contains(QLatin1String(r.why))) << why.toStdString();
    }
  }
}

TEST(BundleManifest, LinksThatStayInside) {
  const struct {
    const char* link;
    const char* target;
    bool inside;
  } rows[] = {
      {"Contents/bin/tool", "quotabar", true},
      {"Contents/bin/tool", "../Resources/x", true},
      {"Contents/bin/tool", "../..", true},
      {"Contents/bin/tool", "../../..", false},
      {"Contents/x", "a/../../..", false},
      {"top", "..", false},
      {"Contents/bin/tool", "/usr/bin/env", false},
      {"Contents/bin/tool", "./././quotabar", true},
  };
  for (const auto& r : rows)
    EXPECT_EQ(linkStaysInside(r.link, r.target), r.inside) << r.link << " -> " << r.target;
}

TEST(BundleManifest, SigningScriptAndCheckAgree) {
  QTemporaryDir dir;
  test::BundleRecipe recipe;
  recipe.startMarker = dir.path() + QStringLiteral("/m");
  recipe.files = {{QStringLiteral("Contents/Resources/with blank.txt"), "1"},
                {QStringLiteral("Contents/Resources/caf\u00e9 \u2603.txt"), "3"},
                {QStringLiteral("Contents/Resources/tab\there"), "4"},
                {QStringLiteral("Contents/Resources/empty"), ""},
                {QStringLiteral("Contents/Frameworks/Lib.framework/Versions/A/lib"), "7"},
                {QStringLiteral("top-level"), "8"}};
  recipe.links = {{QStringLiteral("Contents/Frameworks/Lib.framework/Current"), QStringLiteral("Versions/A")},
                {QStringLiteral("Contents/bin/alias"), QStringLiteral("quotabar")},
                {QStringLiteral("Contents/dangling"), QStringLiteral("nothing/here")}};
  const QString bundle = test::makeBundle(dir.path(), recipe);
  QDir().mkpath(bundle + QStringLiteral("/Contents/EmptyFolder"));
  test::SigningKey::shared().sign(bundle);

  QString why;
  const auto signedManifest = parseManifest(test::readFile(bundle + u'/' + QLatin1String(kCodeResources)), &why);
  ASSERT_TRUE(signedManifest) << why.toStdString();
  const auto actual = scanBundle(bundle, &why);
  ASSERT_TRUE(actual) << why.toStdString();
  EXPECT_EQ(*signedManifest, *actual);
  // Info.plist, quotabar, six files, three links and eight folders (the empty one too).
  EXPECT_EQ(actual->size(), 19);
}

TEST(BundleManifest, ScanRefusals) {
  const struct {
    const char* name;
    std::function<void(const QString& bundle)> spoil;
    const char* why;
  } rows[] = {
      {"link out", [](const QString& b) {
         ASSERT_EQ(::symlink("/etc", QFile::encodeName(b + "/Contents/etc").constData()), 0);
       }, "leads outside"},
      {"link through a link", [](const QString& b) {
         // Lexically inside, but "in" points outside, so "in/.." lands outside too.
         ASSERT_EQ(::symlink("/tmp", QFile::encodeName(b + "/Contents/in").constData()), 0);
         ASSERT_EQ(::symlink("in/x", QFile::encodeName(b + "/Contents/through").constData()), 0);
       }, "leads outside"},
      {"pipe", [](const QString& b) {
         ASSERT_EQ(::mkfifo(QFile::encodeName(b + "/Contents/fifo").constData(), 0600), 0);
       }, "not a file, folder or link"},
      {"line break", [](const QString& b) { test::writeFile(b + "/Contents/a\nb", "x"); }, "line break"},
      {"extra signature file", [](const QString& b) {
         test::writeFile(b + "/Contents/_CodeSignature/extra", "x");
       }, "not listed"},
  };
  QTemporaryDir dir;
  int n = 0;
  for (const auto& r : rows) {
    const QString bundle = test::makeBundle(dir.path() + QStringLiteral("/%1").arg(++n), {});
    r.spoil(bundle);
    QString why;
    EXPECT_FALSE(scanBundle(bundle, &why)) << r.name;
    EXPECT_TRUE(why.contains(QLatin1String(r.why))) << r.name << ": " << why.toStdString();
  }
  // The bundle itself a link.
  const QString real = test::makeBundle(dir.path() + QStringLiteral("/real"), {});
  const QString link = dir.path() + QStringLiteral("/Link.app");
  ASSERT_EQ(::symlink(QFile::encodeName(real).constData(), QFile::encodeName(link).constData()), 0);
  QString why;
  EXPECT_FALSE(scanBundle(link, &why));
}

TEST(BundleManifest, Differences) {
  const ManifestEntry file{'f', 0755, kHex};
  const Manifest listed{{"a", file}, {"d", {'d', 0755, {}}}};
  const struct {
    Manifest actual;
    const char* why;
  } rows[] = {
      {{{"a", {'f', 0775, kHex}}, {"d", {'d', 0700, {}}}}, nullptr},  // a umask changes no owner bit
      {{{"a", file}}, "d is missing"},
      {{{"a", {'f', 0755, QByteArray(64, 'c')}}, {"d", {'d', 0755, {}}}}, "a was modified"},
      {{{"a", {'l', 0777, kHex}}, {"d", {'d', 0755, {}}}}, "a is not of its signed type"},
      {{{"a", {'f', 0644, kHex}}, {"d", {'d', 0755, {}}}}, "a has other permissions than signed"},
      {{{"a", file}, {"d", {'d', 0755, {}}}, {"c", file}}, "c is not listed"},
  };
  for (const auto& r : rows) {
    QString why;
    EXPECT_EQ(manifestMatches(listed, r.actual, &why), r.why == nullptr) << why.toStdString();
    if (r.why) {
      EXPECT_EQ(why, QLatin1String(r.why));
    }
  }
}

}  // namespace
}  // namespace qb
