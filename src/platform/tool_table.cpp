#include "platform/tool_table.h"

namespace qb::platform {

const ToolTable& macosTools() {
  static const ToolTable table{
      .platform = QStringLiteral("macos"),
      .unzip = {QStringLiteral("/usr/bin/ditto"),
                {QStringLiteral("-x"), QStringLiteral("-k"), QStringLiteral("{archive}"),
                 QStringLiteral("{dir}")}},
      .copy = {QStringLiteral("/usr/bin/ditto"), {QStringLiteral("{src}"), QStringLiteral("{dst}")}},
      .attach = {QStringLiteral("/usr/bin/hdiutil"),
                 {QStringLiteral("attach"), QStringLiteral("-nobrowse"), QStringLiteral("-noverify"),
                  QStringLiteral("-noautoopen"), QStringLiteral("-readonly"),
                  QStringLiteral("-mountpoint"), QStringLiteral("{mount}"), QStringLiteral("{image}")}},
      .detach = {QStringLiteral("/usr/bin/hdiutil"),
                 {QStringLiteral("detach"), QStringLiteral("{mount}"), QStringLiteral("-force")}},
      .quarantine = {QStringLiteral("/usr/bin/xattr"),
                     {QStringLiteral("-rd"), QStringLiteral("com.apple.quarantine"),
                      QStringLiteral("{bundle}")}},
      .signature = SignatureScheme::codesign,
      .verify = {QStringLiteral("/usr/bin/codesign"),
                 {QStringLiteral("--verify"), QStringLiteral("--deep"), QStringLiteral("--strict"),
                  QStringLiteral("{bundle}")}},
      .interpreter = QStringLiteral("/bin/bash"),
      .scriptLock = QStringLiteral("# (no flock tool on this system)"),
      .scriptCopy = QStringLiteral("/usr/bin/ditto \"$SRC\" \"$NEW\""),
      .scriptQuarantine = QStringLiteral("/usr/bin/xattr -rd com.apple.quarantine \"$DST\" 2>/dev/null"),
      .scriptOpen = QStringLiteral("/usr/bin/open -n \"$DST\""),
      .executable = QStringLiteral("Contents/MacOS/Quotabar"),
      .swap = QStringLiteral("Contents/MacOS/quotabar-swap"),
  };
  return table;
}

const ToolTable& linuxTools() {
  static const ToolTable table{
      .platform = QStringLiteral("linux"),
      // bsdtar refuses absolute and ".." member names.
      .unzip = {QStringLiteral("/usr/bin/bsdtar"),
                {QStringLiteral("-x"), QStringLiteral("-f"), QStringLiteral("{archive}"),
                 QStringLiteral("-C"), QStringLiteral("{dir}")}},
      .copy = {QStringLiteral("/bin/cp"),
               {QStringLiteral("-a"), QStringLiteral("{src}"), QStringLiteral("{dst}")}},
      // A disk image is unpacked rather than mounted; "detaching" removes the folder.
      .attach = {QStringLiteral("/usr/bin/7z"),
                 {QStringLiteral("x"), QStringLiteral("-o{mount}"), QStringLiteral("{image}")}},
      .detach = {},
      // No quarantine attribute exists here.
      .quarantine = {},
      .signature = SignatureScheme::gpgManifest,
      .verify = {QStringLiteral("/usr/bin/gpgv"),
                 {QStringLiteral("--keyring"), QStringLiteral("{keyring}"),
                  QStringLiteral("{signature}"), QStringLiteral("{data}")}},
      .interpreter = QStringLiteral("/bin/bash"),
      // Held until the swap is done, so the app's start-up leaves a swap in progress alone.
      .scriptLock = QStringLiteral("/usr/bin/flock -w 30 9 || echo \"no lock on the application's folder; going on\""),
      .scriptCopy = QStringLiteral("/bin/cp -a \"$SRC\" \"$NEW\""),
      .scriptQuarantine = QStringLiteral("# (no quarantine attribute to remove on this system)"),
      // Detached in a session of its own, so the app outlives the script.
      .scriptOpen = QStringLiteral(
          "/usr/bin/setsid -f \"$DST/Contents/bin/quotabar\" </dev/null >/dev/null 2>&1"),
      .executable = QStringLiteral("Contents/bin/quotabar"),
      .swap = QStringLiteral("Contents/bin/quotabar-swap"),
  };
  return table;
}

const ToolTable& hostTools() {
#if defined(Q_OS_MACOS)
  return macosTools();
#else
  return linuxTools();
#endif
}

CommandLine expand(const CommandLine& pattern, const QList<QPair<QString, QString>>& values) {
  CommandLine line{pattern.program, {}};
  for (const QString& arg : pattern.arguments) {
    // One left-to-right pass, so a path that itself contains "{dir}" stays untouched.
    QString result;
    qsizetype i = 0;
    while (i < arg.size()) {
      bool replaced = false;
      if (arg.at(i) == u'{') {
        for (const auto& [name, value] : values) {
          const QString token = u'{' + name + u'}';
          if (QStringView(arg).mid(i).startsWith(token)) {
            result += value;
            i += token.size();
            replaced = true;
            break;
          }
        }
      }
      if (!replaced) result += arg.at(i++);
    }
    line.arguments << result;
  }
  return line;
}

CommandLine unzipCommand(const ToolTable& t, const QString& archive, const QString& dir) {
  return expand(t.unzip, {{QStringLiteral("archive"), archive}, {QStringLiteral("dir"), dir}});
}

CommandLine copyCommand(const ToolTable& t, const QString& src, const QString& dst) {
  return expand(t.copy, {{QStringLiteral("src"), src}, {QStringLiteral("dst"), dst}});
}

CommandLine attachCommand(const ToolTable& t, const QString& image, const QString& mount) {
  return expand(t.attach, {{QStringLiteral("image"), image}, {QStringLiteral("mount"), mount}});
}

CommandLine detachCommand(const ToolTable& t, const QString& mount) {
  return expand(t.detach, {{QStringLiteral("mount"), mount}});
}

CommandLine quarantineCommand(const ToolTable& t, const QString& bundle) {
  return expand(t.quarantine, {{QStringLiteral("bundle"), bundle}});
}

CommandLine codesignCommand(const ToolTable& t, const QString& bundle) {
  return expand(t.verify, {{QStringLiteral("bundle"), bundle}});
}

CommandLine gpgvCommand(const ToolTable& t, const QString& keyring, const QString& signature,
                        const QString& data) {
  return expand(t.verify, {{QStringLiteral("keyring"), keyring},
                           {QStringLiteral("signature"), signature},
                           {QStringLiteral("data"), data}});
}

}  // namespace qb::platform
