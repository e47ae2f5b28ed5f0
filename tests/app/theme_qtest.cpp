// The program's pictures come from SVG resources: each is found and drawn
// (a missing resource or SVG plugin gives null or blank pictures, shown as
// empty buttons and rows), the check states differ, and the build leaves the
// program icon in every size of the desktop's hicolor theme. The tree's
// check boxes, the drive and file-kind pictures follow the palette and are
// drawn at the screen's pixel ratio: the program runs here at 200% scale
// (QT_SCALE_FACTOR=2). With VARNEL_SCREENSHOT_DIR set, the window after a
// search is saved there in a light and a dark palette (docs/ holds them).
#include "apptestenv.h"

#include "app/appicons.h"
#include "folders/treeimages.h"
#include "res/icons.h"
#include "res/themedpicture.h"
#include "results/filekindicons.h"

#include <QApplication>
#include <QImage>
#include <QPalette>

namespace {

QPalette DarkPalette()
{
    QPalette dark;
    const QColor window(0x35, 0x35, 0x35), base(0x23, 0x23, 0x23), text(0xe6, 0xe6, 0xe6);
    for (const auto& [role, colour] :
         {std::pair{QPalette::Window, window}, {QPalette::WindowText, text}, {QPalette::Base, base},
          {QPalette::AlternateBase, window}, {QPalette::Text, text}, {QPalette::Button, window},
          {QPalette::ButtonText, text}, {QPalette::Highlight, QColor(0x2a, 0x82, 0xda)},
          {QPalette::HighlightedText, QColor(Qt::white)}})
        dark.setColor(role, colour);
    return dark;
}

// Whether any pixel of the picture is not fully transparent.
bool HasInk(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0) return true;
    return false;
}

double MeanLuminance(const QImage& image)
{
    double sum = 0;
    int n = 0;
    for (int y = 0; y < image.height(); y += 5)
        for (int x = 0; x < image.width(); x += 5, ++n) sum += qGray(image.pixel(x, y));
    return n != 0 ? sum / n : 0;
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
        QPalette light;
        light.setColor(QPalette::Base, Qt::white);
        light.setColor(QPalette::Text, Qt::black);
        const QPalette dark = DarkPalette();
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

    void windowInADarkPalette()
    {
        CFrameFixture fx;
        for (const char* name : {"budget.txt", "minutes.txt", "plan.htm"})
            QVERIFY(WriteFile(fx.docs.filePath(QLatin1String(name)), "The budget for the garden.\r\n"));
        for (const char* dir : {"Archive/2023", "Letters", "Stick/Photos"})
            QVERIFY(QDir(fx.docs.path()).mkpath(QLatin1String(dir)));
        const QPalette original = QApplication::palette();
        const QByteArray dir = qgetenv("VARNEL_SCREENSHOT_DIR");
        double luminance[2] = {};
        for (int pass = 0; pass < 2; ++pass) {
            QApplication::setPalette(pass == 0 ? original : DarkPalette());
            auto frame = fx.MakeFrame();
            frame->resize(900, 560);
            // A fixed and a removable drive, with every kind of tick.
            CDirectoryTree& tree = frame->FolderPane()->Tree();
            const std::string docs = fx.docs.path().toStdString();
            tree.FillDrives({{docs, "Docs", DriveKind::Fixed}, {docs + "/Stick", "USB", DriveKind::Removable}});
            tree.RootItem()->child(0)->setExpanded(true);
            for (int i = 0; i < 2; ++i) tree.ToggleCheck(tree.RootItem()->child(0)->child(0));
            g_bHtmFile = 1;
            QVERIFY(FindAndWait(*frame, QStringLiteral("budget")));
            QCOMPARE(g_nResultCount, 3);
            QTest::qWait(100);
            const QPixmap shot = frame->grab();
            QCOMPARE(shot.size(), frame->size() * 2);
            luminance[pass] = MeanLuminance(shot.toImage());
            if (!dir.isEmpty())
                QVERIFY(shot.save(QString::fromLocal8Bit(dir) +
                                  (pass == 0 ? "/screenshot-2x.png" : "/screenshot-dark-2x.png")));
        }
        QApplication::setPalette(original);
        QVERIFY2(luminance[0] > 150 && luminance[1] < 100,
                 qPrintable(QStringLiteral("%1 %2").arg(luminance[0]).arg(luminance[1])));
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
