// The program's pictures come from SVG resources: each must be found and
// drawn (a missing resource or a missing SVG plugin gives null or blank
// pictures, which the window would show as empty buttons and rows), the
// check states must differ from each other, and the build must leave the
// program icon in every size of the desktop's hicolor theme.
#include "app/appicons.h"
#include "folders/treeimages.h"
#include "res/icons.h"

#include <QImage>
#include <QtTest>

namespace {

// Whether any pixel of the picture is not fully transparent.
bool HasInk(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0) return true;
    return false;
}

}  // namespace

class IconsTest : public QObject {
    Q_OBJECT
private slots:
    void everyPictureIsDrawnAtEverySize()
    {
        for (const char* name : {"find", "stop", "varnel", "check-unchecked", "check-checked", "check-checked-all",
                                 "word", "word-template", "excel", "excel-template", "text", "web"})
            for (int side : {16, 24, 48}) {
                const QPixmap pixmap = ResourcePixmap(name, side);
                QVERIFY2(pixmap.size() == QSize(side, side) && HasInk(pixmap.toImage()), name);
            }
        QVERIFY(ResourcePixmap("no-such-picture", 16).isNull());
        for (const QIcon& icon : {FindIcon(), StopIcon(), ProgramIcon()})
            QVERIFY(HasInk(icon.pixmap(16, 16).toImage()));
        QVERIFY(FindIcon().pixmap(16, 16).toImage() != StopIcon().pixmap(16, 16).toImage());
    }

    void checkStatesAreBlankThenThreeDistinctBoxes()
    {
        QVERIFY(!HasInk(CTreeImages::CheckState(0).toImage()));
        QVERIFY(!HasInk(CTreeImages::CheckState(7).toImage()));
        for (int state = 1; state < CTreeImages::kCheckStateCount; ++state) {
            const QImage image = CTreeImages::CheckState(state).toImage();
            QVERIFY(image.size() == QSize(CTreeImages::kSize, CTreeImages::kSize) && HasInk(image));
            for (int other = state + 1; other < CTreeImages::kCheckStateCount; ++other)
                QVERIFY(image != CTreeImages::CheckState(other).toImage());
        }
    }

    void desktopIconIsBuiltInEveryHicolorSize()
    {
        for (int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QString path = QStringLiteral(VARNEL_ICON_THEME_DIR "/%1x%1/apps/varnel.png").arg(side);
            QImage image;
            QVERIFY2(image.load(path) && image.size() == QSize(side, side) && HasInk(image), qPrintable(path));
        }
    }
};

QTEST_MAIN(IconsTest)
#include "icons_qtest.moc"
