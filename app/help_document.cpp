#include "app/help_document.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace k3v {

QStringList HelpDocumentCandidates(const QString& programFolder) {
    const QDir folder(programFolder);
    return {QDir::cleanPath(folder.filePath(kHelpDocumentName)),
            QDir::cleanPath(
                folder.filePath(QStringLiteral("../share/k3v-stereo/") + kHelpDocumentName))};
}

QString FindHelpDocument(const QString& programFolder) {
    for (const QString& candidate : HelpDocumentCandidates(programFolder)) {
        if (QFileInfo(candidate).isFile()) {
            return candidate;
        }
    }
    return {};
}

QString MissingHelpMessage(const QString& programFolder) {
    return QCoreApplication::translate(
               "k3v", "The help document %1 was not found. It was expected at:\n%2")
        .arg(kHelpDocumentName, HelpDocumentCandidates(programFolder).join(u'\n'));
}

}  // namespace k3v
