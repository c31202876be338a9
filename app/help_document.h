#pragma once
// The help document, Quorvex_K3V.pdf: next to the program (a build tree, or a Windows-style
// install) or in ../share/k3v-stereo/ (an install under a prefix).

#include <QString>
#include <QStringList>

namespace k3v {

inline const QString kHelpDocumentName = QStringLiteral("Quorvex_K3V.pdf");

// Where the document is looked for, in order, for a program in `programFolder`.
QStringList HelpDocumentCandidates(const QString& programFolder);
// The first candidate that exists, or empty.
QString FindHelpDocument(const QString& programFolder);
// The warning shown when no candidate exists.
QString MissingHelpMessage(const QString& programFolder);

}  // namespace k3v
