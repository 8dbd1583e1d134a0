#include "ui/icons.h"

#include <QPainter>
#include <QPixmap>
#include <array>

namespace trimora {

QIcon ListIcon(int index) {
    static std::array<QIcon, kIconCount> icons;
    if (index < 0 || index >= kIconCount) index = 0;
    if (!icons[index].isNull()) return icons[index];
    struct Look {
        const char* colour;
        const char* letter;
    };
    static const Look looks[kIconCount] = {
        {"#5b6f8f", "V"}, {"#2e8b57", "4"}, {"#c0392b", "F"}, {"#7d3c98", "K"},
        {"#b9770e", "R"}, {"#1f618d", "M"}, {"#117864", "A"}, {"#af601a", "\xe2\x99\xaa"},
        {"#505050", "i"}, {"#8e44ad", "W"},
    };
    QPixmap pix(16, 16);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(looks[index].colour));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(1, 1, 14, 14), 3, 3);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPixelSize(10);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QString::fromUtf8(looks[index].letter));
    p.end();
    icons[index] = QIcon(pix);
    return icons[index];
}

} // namespace trimora
