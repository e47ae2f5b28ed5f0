// The program's pictures come from SVG resources: each is found and drawn
// (a missing resource or SVG plugin gives null or blank pictures, shown as
// empty buttons and rows), the check states differ, and the build leaves the
// program icon in every size of the desktop's hicolor theme. The tree's
// check boxes, the drive and file-kind pictures follow the palette and are
// drawn at the screen's pixel ratio: the program runs here at 200% scale
// (QT_SCALE_FACTOR=2). The whole window in a dark palette is the preview
// test's.
#include "apptestenv.h"

#include "app/appicons.h"
#include "folders/treeimages.h"
#include "res/icons.h"
#include "res/themedpicture.h"
#include "results/filekindicons.h"

#include <QPalette>

namespace {

// Whether any pixel of the picture is not fully transparent.
bool HasInk(const QImage& image)
{
    QImage blank(image.size(), QImage::Format_ARGB32_Premultiplied);
    blank.fill(Qt::transparent);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied) != blank;
}

}  // namespace

class ThemeTest : public QObject {
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
        // Check states: blank for none (and out of range), then three distinct boxes.
        QVERIFY(!HasInk(CTreeImages::CheckState(0).toImage()) && !HasInk(CTreeImages::CheckState(7).toImage()));
        for (int state = 1; state < CTreeImages::kCheckStateCount; ++state) {
            QVERIFY(HasInk(CTreeImages::CheckState(state).toImage()));
            for (int other = state + 1; other < CTreeImages::kCheckStateCount; ++other)
                QVERIFY(CTreeImages::CheckState(state).toImage() != CTreeImages::CheckState(other).toImage());
        }
        for (int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QString path = QStringLiteral(VARNEL_ICON_THEME_DIR "/%1x%1/apps/varnel.png").arg(side);
            QImage image;
            QVERIFY2(image.load(path) && image.size() == QSize(side, side) && HasInk(image), qPrintable(path));
        }
    }

    void picturesFollowThePaletteAtTheScreensRatio()
    {
        QCOMPARE(qApp->devicePixelRatio(), 2.0);
        // Black on white, and light grey on near black (grey windows and buttons).
        const QPalette light(Qt::white);
        QPalette dark(QColor(0x35, 0x35, 0x35));
        dark.setColor(QPalette::Base, QColor(0x23, 0x23, 0x23));
        dark.setColor(QPalette::Text, QColor(0xe6, 0xe6, 0xe6));
        for (const char* name : {"check-unchecked", "check-checked", "check-checked-all", "word", "word-template",
                                 "excel", "excel-template", "text", "web", "drive-removable"}) {
            const QPixmap onLight = CThemedPicture::Pixmap(name, 16, light, 2.0);
            const QPixmap onDark = CThemedPicture::Pixmap(name, 16, dark, 2.0);
            QVERIFY2(onLight.size() == QSize(32, 32) && onLight.devicePixelRatio() == 2.0, name);
            QVERIFY2(onLight.toImage() != onDark.toImage(), name);
            // The light palette gives the SVG's own drawing back.
            QImage drawn = ResourcePixmap(name, 32).toImage().convertToFormat(onLight.toImage().format());
            drawn.setDevicePixelRatio(2.0);
            QCOMPARE(onLight.toImage(), drawn);
        }
        // The box's outline stands out from the view's background in both.
        for (const QPalette& palette : {light, dark}) {
            const QColor outline = CTreeImages::CheckState(1, palette, 2.0).toImage().pixelColor(3, 16);
            QVERIFY2(CThemedPicture::Contrast(outline, palette.color(QPalette::Base)) >= 3.0,
                     qPrintable(outline.name()));
        }
        // The defaults are drawn for the screen; the removable drive is not a floppy.
        QCOMPARE(CTreeImages::CheckState(2).size(), QSize(32, 32));
        QCOMPARE(CFileKindIcons::Icon(0).devicePixelRatio(), 2.0);
        QVERIFY(CTreeImages::Normal(CDirectoryTree::IMAGE_REMOVABLE).toImage() !=
                CTreeImages::Normal(CDirectoryTree::IMAGE_FLOPPY).toImage());
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    ThemeTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "theme_qtest.moc"
