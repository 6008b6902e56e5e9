// SPDX-License-Identifier: GPL-3.0-or-later
// quorvell-gallery OUTDIR: renders every control in each of its states to PNG files, at 1x and
// (by running itself again with QT_SCALE_FACTOR=2) at 2x device pixel ratio.
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QTextStream>
#include <cstdio>
#include <functional>

#include "CDropDown.h"
#include "CDropListBox.h"
#include "CDropPopup.h"
#include "CMenuEx.h"
#include "CNameDialog.h"
#include "CNameEdit.h"
#include "CTextLabel.h"
#include "CTiledDialog.h"
#include "CValueDialog.h"
#include "CValueStepper.h"
#include "DisplayFormats.h"
#include "PngButton.h"
#include "SkinImages.h"

namespace quorvell {
namespace {

class Gallery {
public:
    Gallery(QString outDir, QString suffix) : dir(std::move(outDir)), suffix(std::move(suffix)) {}

    bool Save(const QString& name, const QPixmap& pixmap) {
        const QString path = dir.filePath(name + suffix + QStringLiteral(".png"));
        const bool ok = pixmap.save(path);
        if (!ok) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            failures++;
        }
        return ok;
    }

    bool Grab(const QString& name, QWidget& widget) {
        widget.show();
        QApplication::processEvents();
        return Save(name, widget.grab());
    }

    int failures = 0;

private:
    QDir dir;
    QString suffix;
};

void Move(QWidget& widget, QPoint pos) {
    QMouseEvent move(QEvent::MouseMove, pos, widget.mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&widget, &move);
}

// A plain window with the page colour that holds one control.
struct Frame {
    explicit Frame(QSize size) {
        window.setFixedSize(size);
        window.setAutoFillBackground(true);
    }
    QWidget window;
};

void RenderSkins(Gallery& g) {
    for (const int id : {128, 130, 131, 137, 138, 139, 140, 141, 142, 143, 144, 145, 148}) {
        const qreal dpr = qApp->devicePixelRatio();
        g.Save(QStringLiteral("image-%1").arg(id), SkinImage(id, dpr));
    }
}

void SetUpStepper(CValueStepper& s, int kind, int min, int max, int value) {
    s.SetImages(kStepperNormal, kStepperDecreaseLit, kStepperMiddleLit, kStepperIncreaseLit);
    s.SetRange(min, max);
    s.kind = kind;
    s.SetValue(value);
    s.partner = &s;
    s.SetDisabledImage(kStepperDisabled);
}

void RenderSteppers(Gallery& g) {
    struct Case {
        const char* name;
        int kind;
        int min, max, value;
    };
    const Case cases[] = {
        {"gain", 10, 0, 360, 215},  {"frequency", 4, 20, 20000, 1000}, {"q", 7, 1, 1000, 20},
        {"volume", 11, 0, 254, 48}, {"threshold", 45, 0, 60, 12},      {"ratio", 48, 10, 2000, 40},
        {"attack", 46, 1, 100, 5},  {"unknown-kind", 0, 0, 10, 3},
    };
    for (const Case& c : cases) {
        Frame frame(QSize(90, 20));
        CValueStepper s(1000, &frame.window);
        SetUpStepper(s, c.kind, c.min, c.max, c.value);
        frame.window.show();
        g.Grab(QStringLiteral("stepper-%1-normal").arg(QLatin1String(c.name)), s);
    }
    Frame frame(QSize(90, 20));
    CValueStepper s(1032, &frame.window);
    SetUpStepper(s, 10, 0, 360, 180);
    frame.window.show();
    const std::pair<const char*, QPoint> zones[] = {
        {"decrease", QPoint(8, 10)}, {"middle", QPoint(45, 10)}, {"increase", QPoint(81, 10)}};
    for (const auto& [name, pos] : zones) {
        Move(s, pos);
        g.Grab(QStringLiteral("stepper-gain-hover-%1").arg(QLatin1String(name)), s);
    }
    Move(s, QPoint(200, 10));
    s.setEnabled(false);
    g.Grab(QStringLiteral("stepper-gain-disabled"), s);
}

void RenderDropDown(Gallery& g) {
    Frame frame(QSize(90, 20));
    CDropDown d(&frame.window);
    d.SetImages(kDropDownNormal, kDropDownHover);
    d.CreateList(1095);
    for (const char* item :
         {"Butterworth 1", "Butterworth 2", "Bessel 2", "Linkwitz 2", "Variable"}) {
        d.AddItem(QString::fromLatin1(item));
    }
    d.SetSelection(1);
    frame.window.show();
    g.Grab(QStringLiteral("dropdown-normal"), d);
    Move(d, QPoint(40, 10));
    g.Grab(QStringLiteral("dropdown-hover"), d);

    // Pop-up open with the pointer over the fourth entry: bar and pop-up in one picture.
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(40, 10), d.mapToGlobal(QPointF(40, 10)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&d, &press);
    QApplication::processEvents();
    CDropPopup* popup = d.Popup();
    Move(*popup->List(), QPoint(40, 3 * CDropListBox::kItemHeight + 10));
    QApplication::processEvents();
    const QPixmap bar = d.grab();
    const QPixmap list = popup->grab();
    const qreal dpr = bar.devicePixelRatio();
    QPixmap open(QSize(90, 20 - 1 + popup->height()) * dpr);
    open.setDevicePixelRatio(dpr);
    open.fill(Qt::transparent);
    {
        QPainter p(&open);
        p.drawPixmap(0, 0, bar);
        p.drawPixmap(0, 19, list);
    }
    g.Save(QStringLiteral("dropdown-popup-open"), open);
    popup->hide();

    // More entries than fit: the list scrolls.
    CDropDown many(&frame.window);
    many.SetImages(kDropDownNormal, kDropDownHover);
    many.CreateList(1096);
    for (int i = 1; i <= 8; ++i) {
        many.AddItem(QStringLiteral("Entry %1 with a long caption").arg(i));
    }
    many.SetSelection(6);
    QMouseEvent press2(QEvent::MouseButtonPress, QPointF(40, 10), many.mapToGlobal(QPointF(40, 10)),
                       Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&many, &press2);
    QApplication::processEvents();
    g.Save(QStringLiteral("dropdown-popup-scrolling"), many.Popup()->grab());
    many.Popup()->hide();
}

void RenderLabels(Gallery& g) {
    CTiledDialog window;
    window.setFixedSize(300, 120);
    window.setWindowFlags(Qt::Widget);
    const char* names[] = {"near", "centre", "far"};
    for (int a = 0; a < 3; ++a) {
        CTextLabel label(&window);
        label.setGeometry(10, 10, 140, 40);
        label.fontSize = 12;
        label.alignment = a;
        label.SetTransparent(true);
        label.SetText(QStringLiteral("Band 3"));
        window.show();
        g.Grab(QStringLiteral("label-align-%1").arg(QLatin1String(names[a])), label);
    }
    window.SetBackground(kDialogBackground);
    CTextLabel onBlack(&window);
    onBlack.setGeometry(10, 60, 140, 40);
    onBlack.fontSize = 10;
    onBlack.textColor = Qt::white;
    onBlack.SetTransparent(true);
    onBlack.SetText(QStringLiteral("CH1 LIMITER"));
    g.Grab(QStringLiteral("label-on-tiled-background"), onBlack);
    CTextLabel opaque(&window);
    opaque.setGeometry(160, 60, 120, 40);
    opaque.SetTransparent(false);
    opaque.SetText(QStringLiteral("Opaque"));
    g.Grab(QStringLiteral("label-opaque"), opaque);
}

void RenderButtons(Gallery& g) {
    struct Case {
        const char* name;
        int off, on;
        bool isOn;
        int captionSize;
        QColor offColour, onColour;
        const char* caption;
        int sizeMode;
        QSize size;
    };
    const QColor white(255, 255, 255), black(0, 0, 0);
    const Case cases[] = {
        {"page-off", 130, 131, false, 16, white, black, "MAIN", 1, {}},
        {"page-on", 130, 131, true, 16, white, black, "LIMIT", 1, {}},
        {"phase-off", 131, 130, false, 8, black, white, "PHASE", 1, {}},
        {"phase-on", 131, 130, true, 8, black, white, "PHASE", 1, {}},
        {"slot-off", 145, 144, false, 8, white, black, "3", 1, {}},
        {"save-on", 145, 144, true, 8, white, black, "Save", 1, {}},
        {"squeezed-80x24", 130, 131, false, 8, white, black, "OK", 0, {80, 24}},
        {"half-size", 130, 131, false, 8, white, black, "Half", 2, {}},
    };
    for (const Case& c : cases) {
        Frame frame(QSize(110, 40));
        PngButton b(QString::fromLatin1(c.caption), &frame.window);
        if (c.size.isValid()) {
            b.resize(c.size);
        }
        b.sizeMode = c.sizeMode;
        b.captionSize = c.captionSize;
        b.offCaptionColor = c.offColour;
        b.onCaptionColor = c.onColour;
        b.SetImages(c.off, c.on);
        b.on = c.isOn;
        frame.window.show();
        g.Grab(QStringLiteral("button-%1").arg(QLatin1String(c.name)), b);
    }
}

void RenderMenu(Gallery& g) {
    CMenuEx menu;
    menu.LoadMenu(kPresetSlotMenu);
    QMenu* popup = menu.SubMenu(0);
    popup->popup(QPoint(100, 100));
    QApplication::processEvents();
    g.Save(QStringLiteral("menu-open"), popup->grab());
    popup->setActiveAction(popup->actions().at(1));
    QApplication::processEvents();
    g.Save(QStringLiteral("menu-recall-highlighted"), popup->grab());
    popup->actions().at(2)->setEnabled(false);
    popup->insertSeparator(popup->actions().at(2));
    QApplication::processEvents();
    g.Save(QStringLiteral("menu-separator-and-grayed"), popup->grab());
    popup->hide();
}

void RenderDialogs(Gallery& g) {
    CNameDialog name;
    name.SetName(QStringLiteral("Stage L"));
    g.Grab(QStringLiteral("dialog-name"), name);
    CValueDialog value;
    value.SetNumber(3.5F);
    g.Grab(QStringLiteral("dialog-value"), value);
}

int RenderAll(const QString& outDir, const QString& suffix) {
    Gallery g(outDir, suffix);
    RenderSkins(g);
    RenderSteppers(g);
    RenderDropDown(g);
    RenderLabels(g);
    RenderButtons(g);
    RenderMenu(g);
    RenderDialogs(g);
    if (suffix == QStringLiteral("@1x")) {
        g.Save(QStringLiteral("quorvell-icon-256"), ProgramIcon().pixmap(256, 256));
    }
    return g.failures == 0 ? 0 : 1;
}

}  // namespace
}  // namespace quorvell

int main(int argc, char* argv[]) {
    // The 2x pass is this program run again with the scale factor set before Qt starts.
    const bool secondPass = argc == 3 && std::string_view(argv[2]) == "--2x";
    if (secondPass) {
        qputenv("QT_SCALE_FACTOR", "2");
    }
    QApplication app(argc, argv);
    if (argc < 2 || (argc == 3 && !secondPass) || argc > 3) {
        std::fprintf(stderr, "usage: quorvell-gallery OUTDIR\n");
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    int rc =
        quorvell::RenderAll(outDir, secondPass ? QStringLiteral("@2x") : QStringLiteral("@1x"));
    if (!secondPass) {
        const int second = QProcess::execute(QCoreApplication::applicationFilePath(),
                                             {outDir, QStringLiteral("--2x")});
        rc = rc != 0 ? rc : (second == 0 ? 0 : 1);
    }
    return rc;
}
