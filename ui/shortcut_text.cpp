// Shortcut text conversions between the configuration syntax and Qt's portable key text.
#include "ui/shortcut_text.h"

#include <QMetaEnum>
#include <QRegExp>
#include <QSet>
#include <QStringList>

#include <cstring>

namespace {

const QString numpad_word = QStringLiteral("Numpad");

QString to_qt(const char *text)
{
  return QString::fromUtf8(text != nullptr ? text : "");
}

qstring from_qt(const QString &text)
{
  const QByteArray bytes = text.toUtf8();
  return qstring(bytes.constData(), size_t(bytes.size()));
}

// The raw form: the lead character, then one to four hexadecimal key codes separated by ';'.
qstring raw_shortcut_to_portable(const QString &text)
{
  QStringList parts = text.split(QLatin1Char(';'), Qt::KeepEmptyParts);
  parts.removeFirst();
  if ( parts.isEmpty() || parts.size() > SHORTCUT_RAW_MAX_KEYS )
    return qstring();
  int keys[SHORTCUT_RAW_MAX_KEYS] = {};
  for ( int i = 0; i < parts.size(); ++i )
  {
    bool ok = false;
    const uint code = parts[i].toUInt(&ok, 16);
    if ( !ok )
      return qstring();
    keys[i] = int(code);
  }
  return from_qt(QKeySequence(keys[0], keys[1], keys[2], keys[3]).toString(QKeySequence::PortableText));
}

} // namespace

QString normalize_shortcut_text(const QString &text, QChar separator, QChar qt_separator)
{
  QString out = text.trimmed();
  // Searching from the end keeps the positions still to be examined unchanged by each replacement.
  for ( int at = out.lastIndexOf(numpad_word); at >= 0; at = at > 0 ? out.lastIndexOf(numpad_word, at - 1) : -1 )
  {
    const int next = at + numpad_word.size();
    const auto is_separator = [&](int i) { return out[i] == separator || out[i] == qt_separator; };
    const bool separators_follow = next + 1 < out.size() && is_separator(next) && is_separator(next + 1);
    out.replace(at, numpad_word.size(), separators_follow ? QStringLiteral("Num") : QStringLiteral("Num") + separator);
  }
  if ( out.size() > 1 && separator != qt_separator )
  {
    const QRegExp word_then_separator(QStringLiteral("([A-Za-z_0-9]+)([") + QRegExp::escape(QString(separator))
                                        + QStringLiteral("])"),
                                      Qt::CaseSensitive);
    for ( int at = word_then_separator.indexIn(out, 0); at >= 0;
          at = word_then_separator.indexIn(out, at + word_then_separator.matchedLength()) )
      out[at + word_then_separator.matchedLength() - 1] = qt_separator;
  }
  return out;
}

qstring legacy_shortcut_to_portable(const char *text)
{
  if ( text == nullptr || std::strlen(text) > SHORTCUT_TEXT_MAX_LENGTH )
    return qstring();
  const QString qtext = to_qt(text);
  if ( text[0] == SHORTCUT_RAW_LEAD )
    return raw_shortcut_to_portable(qtext);
  const QString normal = normalize_shortcut_text(qtext, QLatin1Char('-'), QLatin1Char('+'));
  return from_qt(QKeySequence(normal, QKeySequence::NativeText).toString(QKeySequence::PortableText));
}

qstring shortcut_text_from_config(const char *text, bool as_is)
{
  if ( as_is )
    return qstring(text != nullptr ? text : "");
  return legacy_shortcut_to_portable(text);
}

qvector<qstring> parse_shortcut_list(const char *text, bool as_is)
{
  qvector<qstring> out;
  QSet<QKeySequence> seen;
  const QStringList parts = to_qt(text).split(QLatin1Char(','), Qt::SkipEmptyParts);
  for ( const QString &part : parts )
  {
    const qstring converted = shortcut_text_from_config(part.toUtf8().constData(), as_is);
    const QKeySequence sequence = converted.size() <= SHORTCUT_TEXT_MAX_LENGTH ? shortcut_sequence(converted.c_str())
                                                                                : QKeySequence();
    if ( seen.contains(sequence) )
      continue;
    seen.insert(sequence);
    out.push_back(from_qt(sequence.toString(QKeySequence::PortableText)));
  }
  return out;
}

bool standard_key_by_name(const char *name, QKeySequence::StandardKey *key)
{
  const QMetaEnum keys = QMetaEnum::fromType<QKeySequence::StandardKey>();
  for ( int i = 0; i < keys.keyCount(); ++i )
  {
    if ( std::strcmp(keys.key(i), name) == 0 )
    {
      *key = QKeySequence::StandardKey(keys.value(i));
      return true;
    }
  }
  return false;
}

QKeySequence shortcut_sequence(const char *portable_text)
{
  return QKeySequence(to_qt(portable_text), QKeySequence::NativeText);
}
