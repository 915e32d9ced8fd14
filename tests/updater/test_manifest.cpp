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

TEST(BundleManifest, ParseRules) {
  const struct {
    QByteArray text;
    const char* why;  // nullptr: accepted
  } rows[] = {
      {kHex + "  Contents/Info.plist\n" + kHex + "  Contents/bin/quotabar\n", nullptr},
      {kHex + "  a b/c d\n", nullptr},
      {QByteArray(), "empty"},
      {kHex + "  Contents/Info.plist", "line break"},
      {kHex + " Contents/Info.plist\n", "malformed"},
      {QByteArray(64, 'A') + "  x\n", "malformed"},  // upper-case digest
      {kHex.left(63) + "  x\n", "malformed"},
      {kHex + "  \n", "malformed"},
      {kHex + "  /etc/passwd\n", "malformed"},
      {kHex + "  Contents/../../x\n", "malformed"},
      {kHex + "  ./x\n", "malformed"},
      {kHex + "  a//b\n", "malformed"},
      {kHex + "  Contents/_CodeSignature/CodeResources\n", "malformed"},
      {kHex + "  b\n" + kHex + "  a\n", "out of order"},
      {kHex + "  a\n" + kHex + "  a\n", "out of order"},
      {kHex + "  a\n\n", "malformed"},
  };
  for (const auto& r : rows) {
    QString why;
    const auto manifest = parseManifest(r.text, &why);
    if (!r.why) {
      EXPECT_TRUE(manifest) << r.text.toStdString() << why.toStdString();
      continue;
    }
    EXPECT_FALSE(manifest) << r.text.toStdString();
    EXPECT_TRUE(why.contains(QLatin1String(r.why))) << why.toStdString();
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
      {"Contents/bin/tool", "../../Contents", true},
      {"Contents/bin/tool", "../..", true},
      {"Contents/bin/tool", "../../..", false},
      {"Contents/bin/tool", "../../../Quotabar.app/Contents", false},
      {"Contents/x", "a/../../..", false},
      {"top", "..", false},
      {"Contents/bin/tool", "/usr/bin/env", false},
      {"Contents/bin/tool", "", false},
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
                {QStringLiteral("Contents/Resources/.hidden"), "2"},
                {QStringLiteral("Contents/Resources/caf\u00e9 \u2603.txt"), "3"},
                {QStringLiteral("Contents/Resources/tab\there"), "4"},
                {QStringLiteral("Contents/Resources/back\\slash"), "5"},
                {QStringLiteral("Contents/Resources/Z-upper"), "6"},
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
  EXPECT_EQ(actual->size(), 14);  // Info.plist, quotabar, nine files, three links
  EXPECT_TRUE(manifestMatches(*signedManifest, *actual, &why)) << why.toStdString();
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
      {"link up", [](const QString& b) {
         ASSERT_EQ(::symlink("../../..", QFile::encodeName(b + "/Contents/up").constData()), 0);
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
      {"signature as folder", [](const QString& b) {
         QDir().mkpath(b + "/Contents/_CodeSignature/CodeResources.sig");
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
  const Manifest listed{{"a", kHex}, {"b", QByteArray(64, 'b')}};
  const struct {
    Manifest actual;
    const char* why;
  } rows[] = {
      {{{"a", kHex}, {"b", QByteArray(64, 'b')}}, nullptr},
      {{{"a", kHex}}, "b is missing"},
      {{{"a", kHex}, {"b", QByteArray(64, 'c')}}, "b was modified"},
      {{{"a", kHex}, {"b", QByteArray(64, 'b')}, {"c", kHex}}, "c is not listed"},
  };
  for (const auto& r : rows) {
    QString why;
    EXPECT_EQ(manifestMatches(listed, r.actual, &why), r.why == nullptr);
    if (r.why) {
      EXPECT_EQ(why, QLatin1String(r.why));
    }
  }
}

}  // namespace
}  // namespace qb
