// The standard and the 200 % form side by side: the two builds must show the
// same controls, wired the same way, and differ only where the display demands
// it (positions, sizes, fonts, some shorter texts, one laid-out row).
// Both generated forms are set up on stand-in windows that record slot calls.

#include <QtTest>
#include <QtWidgets>

#include <functional>
#include <map>

// The generated headers include only Qt headers, which are in by now.
namespace StandardForm {
#include "form_standard.h"
}
namespace Dpi200Form {
#include "form_dpi200.h"
}

// Has every slot a form connection may name; records which ran.
class FormHost : public QMainWindow {
    Q_OBJECT

public:
    QStringList ran;

public slots:
    void on_ProgressChange(int, int) { note("on_ProgressChange"); }

private slots:
    void SaveEDIDtoFile() { note("SaveEDIDtoFile"); }
    void LoadEDIDfromFile() { note("LoadEDIDfromFile"); }
    void FileExit() { note("FileExit"); }
    void FileAbout() { note("FileAbout"); }
    void ReadEDID() { note("ReadEDID"); }
    void WriteEDID() { note("WriteEDID"); }
    void WriteCEC() { note("WriteCEC"); }
    void WriteIF() { note("WriteIF"); }
    void CalculateChkSum() { note("CalculateChkSum"); }
    void SetActivePort() { note("SetActivePort"); }
    void SetAutoSwitch() { note("SetAutoSwitch"); }
    void SetAudioSource() { note("SetAudioSource"); }
    void SetHDCP_Version() { note("SetHDCP_Version"); }
    void SetOut_420() { note("SetOut_420"); }
    void SetEDID_Mode() { note("SetEDID_Mode"); }
    void SetEPState() { note("SetEPState"); }
    void SaveCEC_1() { note("SaveCEC_1"); }
    void SaveCEC_2() { note("SaveCEC_2"); }
    void force2c() { note("force2c"); }
    void force51() { note("force51"); }
    void forceHdr() { note("forceHdr"); }
    void forceFullAudio() { note("forceFullAudio"); }
    void setSwPriority() { note("setSwPriority"); }
    void changeCustomEdid() { note("changeCustomEdid"); }
    bool sendAVI() {
        note("sendAVI");
        return true;
    }
    void CecLpRepurp() { note("CecLpRepurp"); }
    void hdrForceActivate() { note("hdrForceActivate"); }
    void hdrSamsung() { note("hdrSamsung"); }
    void setLogoLed() { note("setLogoLed"); }
    void setBt2020() { note("setBt2020"); }
    void setBlueLed() { note("setBlueLed"); }
    void factoryReset() { note("factoryReset"); }
    void setYUV() { note("setYUV"); }
    void setCEC() { note("setCEC"); }
    void setCecLa() { note("setCecLa"); }
    void setAVR() { note("setAVR"); }
    void readTvEdidA() { note("readTvEdidA"); }
    void readTvEdidB() { note("readTvEdidB"); }
    void set3D() { note("set3D"); }
    void setEdidAlgo() { note("setEdidAlgo"); }
    void setAviPers() { note("setAviPers"); }

private:
    void note(const char* slot) { ran << QString::fromLatin1(slot); }
};

namespace {

// Objects that the 200 % build moves, resizes or sets another font on.
const QStringList kPlacedOrSizedDifferently =
    QStringLiteral(
        "MainWindow actionExit actionAbout menubar statusbar tabWidget "
        "label_3 label_5 audioHdmi audioJack hdcp22 hdcp14 label_6 labelFw1 label_video_format "
        "label_10 autoSwEn autoSwDis frame_2 lblCsc lblHdrInput bPrioNorm pPrioForce label_12 "
        "cmBEdid EDIDtext cb2cForce cbFull cb51 automixEDID fixedEDID customEDID cbHdr cbBt2020 "
        "cbYUV layoutWidget ButReadEDID pbReadTvEdidA pbReadTvEdidB ButLoadEDID ButSaveEDID "
        "ButWriteEDID cb3D CECtext label_4 label_2 ButSaveCEC_1 ButSaveCEC_2 ButWriteCEC cbCec "
        "label_26 label_28 cmbLa IFtext ButWriteIF label_8 AVItext ButWriteAVI label_9 label "
        "label_13 label_14 label_19 label_20 label_16 cbAviPersistent label_32 cbHdrForceMode "
        "bFullHdr bSamHdr label_36 line_5 label_41 txtHdrIf label_22 label_39 label_40 "
        "cbClearSettings label_24 label_23 enableLed disableLed label_25 enableBLed disableBLed "
        "line label_27 layoutWidget1 label_17 pbReset label_7 enable420 disable420 label_29 "
        "disableAVR label_11 label_30 enableAVR label_31 line_2 label_33 label_34 label_37 "
        "label_38 cmbEdidAlgo cbClearEdid label_15 label_21 bHdrRepurpDis bHdrRepurpEn "
        "layoutWidget2 labelTitle lblVideoSource cmbInputSel")
        .split(QLatin1Char(' '));

// Objects whose text the standard build spells out at more length.
const QStringList kWordedDifferently =
    QStringLiteral(
        "cb2cForce cb51 automixEDID customEDID cbHdr cbYUV cb3D ButReadEDID pbReadTvEdidA "
        "pbReadTvEdidB ButLoadEDID ButSaveEDID ButWriteEDID label_20 label_16 cbHdrForceMode "
        "bSamHdr label_36 label_39 label_17 label_29")
        .split(QLatin1Char(' '));

const QStringList kStandardOnly{"horizontalLayoutWidget", "horizontalLayout_3"};

// Properties that follow from position, size or font rather than stating anything.
const QSet<QByteArray> kDerived{
    "geometry",  "frameGeometry", "normalGeometry",  "pos",       "size",         "x",
    "y",         "width",         "height",          "rect",      "childrenRect", "childrenRegion",
    "frameSize", "sizeHint",      "minimumSizeHint", "frameRect", "font",         "html"};

bool isQtInternal(const QString& name) {
    return name.isEmpty() || name.startsWith(QLatin1String("qt_")) ||
           name == QLatin1String("_layout") || name.startsWith(QLatin1String("Scroll"));
}

struct Forms {
    FormHost standard;
    FormHost dpi200;
    StandardForm::Ui::MainWindow standardUi;
    Dpi200Form::Ui::MainWindow dpi200Ui;

    Forms() {
        standardUi.setupUi(&standard);
        dpi200Ui.setupUi(&dpi200);
    }
};

// Named objects, depth first in creation order, the window first.
QList<QObject*> namedObjects(QObject* root) {
    QList<QObject*> out;
    std::function<void(QObject*)> walk = [&](QObject* o) {
        if (!isQtInternal(o->objectName()))
            out << o;
        for (QObject* child : o->children())
            walk(child);
    };
    walk(root);
    return out;
}

QObject* find(QObject* root, const QString& name) {
    return root->objectName() == name ? root : root->findChild<QObject*>(name);
}

QString namedParent(const QObject* object) {
    for (QObject* p = object->parent(); p; p = p->parent())
        if (!isQtInternal(p->objectName()))
            return p->objectName();
    return {};
}

bool sameValue(const QVariant& a, const QVariant& b) {
    if (a.metaType() != b.metaType())
        return false;
    if (a.metaType() == QMetaType::fromType<QIcon>()) {
        const QIcon x = a.value<QIcon>(), y = b.value<QIcon>();
        return x.isNull() == y.isNull() &&
               (x.isNull() || x.pixmap(32).toImage() == y.pixmap(32).toImage());
    }
    if (a.metaType() == QMetaType::fromType<QPixmap>())
        return a.value<QPixmap>().toImage() == b.value<QPixmap>().toImage();
    return a == b;
}

// What a widget's own font says, leaving out what it inherits.
QString ownFont(const QObject* object) {
    const auto* widget = qobject_cast<const QWidget*>(object);
    const auto* action = qobject_cast<const QAction*>(object);
    if (widget && !widget->testAttribute(Qt::WA_SetFont))
        return QStringLiteral("not set");
    const QFont font = widget ? widget->font() : action ? action->font() : QFont();
    return QStringLiteral("%1 %2 %3")
        .arg(font.families().join(QLatin1Char('/')))
        .arg(font.pointSizeF())
        .arg(font.bold());
}

bool placedByLayout(const QObject* object) {
    const auto* widget = qobject_cast<const QWidget*>(object);
    return widget && widget->parentWidget() && widget->parentWidget()->layout() &&
           widget->parentWidget()->layout()->indexOf(const_cast<QWidget*>(widget)) >= 0;
}

bool emitSignal(QObject* sender, const char* signature) {
    const QMetaObject* meta = sender->metaObject();
    const int index = meta->indexOfSignal(signature);
    if (index < 0)
        return false;
    const QMetaMethod method = meta->method(index);
    if (method.parameterCount() == 0)
        return method.invoke(sender, Qt::DirectConnection);
    if (method.parameterType(0) == QMetaType::Int)
        return method.invoke(sender, Qt::DirectConnection, Q_ARG(int, 2));
    if (method.parameterType(0) == QMetaType::Bool)
        return method.invoke(sender, Qt::DirectConnection, Q_ARG(bool, true));
    return false;
}

// Which slots each signal of each control runs.
std::map<QString, QStringList> wiring(FormHost& host) {
    const char* const signalNames[] = {
        "clicked()",      "pressed()",         "released()",
        "toggled(bool)",  "stateChanged(int)", "currentIndexChanged(int)",
        "activated(int)", "triggered()",       "hovered()",
        "textChanged()",  "editingFinished()", "currentChanged(int)"};
    std::map<QString, QStringList> out;
    for (QObject* object : namedObjects(&host)) {
        for (const char* signal : signalNames) {
            host.ran.clear();
            if (emitSignal(object, signal) && !host.ran.isEmpty())
                out[object->objectName() + QLatin1Char(' ') + QLatin1String(signal)] = host.ran;
        }
    }
    return out;
}

QStringList focusChain(QWidget* window) {
    QStringList names;
    QWidget* w = window;
    do {
        w = w->nextInFocusChain();
        if ((w->focusPolicy() & Qt::TabFocus) && !isQtInternal(w->objectName()))
            names << w->objectName();
    } while (w != window && names.size() < 1000);
    return names;
}

} // namespace

class tst_form_variants : public QObject {
    Q_OBJECT

private slots:
    void sameObjectsInTheSameOrder();
    void onlyTheListedPlacesFontsAndTextsDiffer();
    void sameWiringFocusChainAndGroups();
};

void tst_form_variants::sameObjectsInTheSameOrder() {
    Forms f;
    auto describe = [](QObject* root, bool dropStandardOnly) {
        QStringList out;
        for (QObject* o : namedObjects(root)) {
            if (dropStandardOnly && kStandardOnly.contains(o->objectName()))
                continue;
            out << o->objectName() + QLatin1Char(' ') + QLatin1String(o->metaObject()->className());
        }
        return out;
    };
    QCOMPARE(describe(&f.standard, true), describe(&f.dpi200, false));
    // The two extra members, and the row they carry in the standard build.
    for (const QString& name : kStandardOnly) {
        QVERIFY(find(&f.standard, name));
        QVERIFY(!find(&f.dpi200, name));
    }
    for (QObject* o : namedObjects(&f.dpi200)) {
        const QString name = o->objectName();
        const bool inCecRow = name == QLatin1String("label_28") || name == QLatin1String("cmbLa");
        QCOMPARE(namedParent(find(&f.standard, name)),
                 inCecRow ? QStringLiteral("horizontalLayoutWidget") : namedParent(o));
    }
}

void tst_form_variants::onlyTheListedPlacesFontsAndTextsDiffer() {
    Forms f;
    QStringList differences;
    for (QObject* d : namedObjects(&f.dpi200)) {
        const QString name = d->objectName();
        QObject* s = find(&f.standard, name);
        const QMetaObject* meta = d->metaObject();
        for (int i = 0; i < meta->propertyCount(); ++i) {
            const QMetaProperty p = meta->property(i);
            // QObject pointers (a text edit's document) are never shared between windows
            if (!p.isReadable() || kDerived.contains(p.name()) ||
                (p.metaType().flags() & QMetaType::PointerToQObject))
                continue;
            if (kWordedDifferently.contains(name) && !qstrcmp(p.name(), "text"))
                continue;
            if (!sameValue(p.read(d), p.read(s)))
                differences << name + QLatin1Char('.') + QLatin1String(p.name());
        }
        const auto* dw = qobject_cast<QWidget*>(d);
        const bool placed = dw && !placedByLayout(d) && !qobject_cast<QMainWindow*>(d) &&
                            namedParent(d) != QLatin1String("tabWidget") &&
                            name != QLatin1String("centralwidget");
        const bool samePlace = !placed || dw->geometry() == qobject_cast<QWidget*>(s)->geometry();
        const bool sameFont = ownFont(d) == ownFont(s);
        if (kPlacedOrSizedDifferently.contains(name)) {
            // The list is exact: everything on it does differ.
            const bool moved = placedByLayout(d) != placedByLayout(s) || !samePlace;
            const bool sized =
                qobject_cast<QMainWindow*>(d) && dw->size() != qobject_cast<QWidget*>(s)->size();
            if (!moved && !sized && sameFont)
                differences << name + QStringLiteral(" (listed, yet placed and drawn alike)");
        } else {
            if (!samePlace)
                differences << name + QStringLiteral(".geometry");
            if (!sameFont)
                differences << name + QStringLiteral(".font");
        }
        if (kWordedDifferently.contains(name) && d->property("text") == s->property("text"))
            differences << name + QStringLiteral(" (listed, yet worded alike)");
    }
    // Two page titles are longer in the standard build; the others agree.
    auto* st = f.standardUi.tabWidget;
    auto* dt = f.dpi200Ui.tabWidget;
    for (int i = 0; i < dt->count(); ++i)
        if ((st->tabText(i) == dt->tabText(i)) == (i < 2))
            differences << QStringLiteral("tab title %1").arg(i);
    QVERIFY2(differences.isEmpty(), qPrintable(differences.join(QStringLiteral(", "))));
}

void tst_form_variants::sameWiringFocusChainAndGroups() {
    Forms f;
    const auto standardWiring = wiring(f.standard);
    const auto dpi200Wiring = wiring(f.dpi200);
    QCOMPARE(standardWiring, dpi200Wiring);
    qsizetype connections = 0;
    for (const auto& entry : dpi200Wiring)
        connections += entry.second.size();
    QCOMPARE(connections, qsizetype(52));

    QCOMPARE(focusChain(&f.standard), focusChain(&f.dpi200));

    for (QButtonGroup* group : f.dpi200.findChildren<QButtonGroup*>()) {
        auto* other = f.standard.findChild<QButtonGroup*>(group->objectName());
        QVERIFY(other);
        auto names = [](QButtonGroup* g) {
            QStringList out;
            for (QAbstractButton* b : g->buttons())
                out << b->objectName();
            return out;
        };
        QCOMPARE(names(other), names(group));
        QCOMPARE(other->checkedButton() ? other->checkedButton()->objectName() : QString(),
                 group->checkedButton() ? group->checkedButton()->objectName() : QString());
    }
}

QTEST_MAIN(tst_form_variants)
#include "tst_form_variants.moc"
