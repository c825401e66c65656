// Build tool: renders the user manual from its Markdown source into a PDF with Qt's own Markdown reader and PDF
// writer.
//
//   make_manual SOURCE.md OUTPUT.pdf
//
// Runs without a display (the offscreen platform unless QT_QPA_PLATFORM says otherwise). The PDF is written to
// a temporary file beside the output and renamed into place, so a failed run leaves no partial manual.
#include <QFile>
#include <QGuiApplication>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

#include <cstdio>

int main(int argc, char **argv)
{
  if ( argc != 3 )
  {
    std::fprintf(stderr, "usage: make_manual SOURCE.md OUTPUT.pdf\n");
    return 2;
  }
  if ( qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") )
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QString source = QString::fromLocal8Bit(argv[1]);
  const QString output = QString::fromLocal8Bit(argv[2]);

  QFile in(source);
  if ( !in.open(QIODevice::ReadOnly) )
  {
    std::fprintf(stderr, "make_manual: cannot read %s: %s\n", argv[1], in.errorString().toLocal8Bit().constData());
    return 1;
  }
  QTextDocument document;
  document.setMarkdown(QString::fromUtf8(in.readAll()), QTextDocument::MarkdownDialectGitHub);
  if ( document.isEmpty() )
  {
    std::fprintf(stderr, "make_manual: %s is empty\n", argv[1]);
    return 1;
  }

  const QString partial = output + QStringLiteral(".part");
  {
    QPdfWriter writer(partial);
    writer.setTitle(QStringLiteral("AKUI user manual"));
    writer.setCreator(QStringLiteral("akui"));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 20, 20, 20),
                                     QPageLayout::Millimeter));
    document.print(&writer);
  }
  QFile written(partial);
  if ( written.size() == 0 )
  {
    std::fprintf(stderr, "make_manual: nothing was written to %s\n", partial.toLocal8Bit().constData());
    written.remove();
    return 1;
  }
  QFile::remove(output);
  if ( !written.rename(output) )
  {
    std::fprintf(stderr, "make_manual: cannot write %s: %s\n", argv[2], written.errorString().toLocal8Bit().constData());
    written.remove();
    return 1;
  }
  return 0;
}
