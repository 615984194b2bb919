#include "platform/qt/fonts.h"

#include <QFont>
#include <QString>

namespace qorve {

void InstallJapaneseFontSubstitutes() {
  static const char* const kWindowsFaces[] = {
      "ＭＳ Ｐゴシック", "ＭＳ ゴシック", "ＭＳ Ｐ明朝", "ＭＳ 明朝", "ＭＳ ＵＩ Ｇｏｔｈｉｃ",
      "MS PGothic",     "MS Gothic",    "MS PMincho",  "MS Mincho", "MS UI Gothic",
      "メイリオ",       "Meiryo",       "Meiryo UI",   "Yu Gothic", "游ゴシック",
  };
  for (const char* face : kWindowsFaces) {
    QFont::insertSubstitution(QString::fromUtf8(face), QString::fromUtf8(kJapaneseFontFace));
  }
}

}  // namespace qorve
