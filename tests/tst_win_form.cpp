// The main window's form as the rest of the program relies on it: objects,
// button groups, the signal-slot connections, the focus chain, input limits,
// the embedded resources and what sets the two display variants apart.
// Built once per variant; most cases run on a window without a device, which
// shows the form exactly as it was built.

#include "WindowHarness.h"
#include "window/Variant.h"

#include <QtTest>
#include <QtWidgets>

#include <climits>
#include <vector>

namespace {

struct Member {
    const char* name;
    const char* className;
    const char* parent; // nearest named ancestor
};

// Every named member of the form in the 200 % build. The standard build puts
// label_28 and cmbLa into a layout holder of its own (kStandardOnly).
const Member kMembers[] = {
    {"centralwidget", "QWidget", "MainWindow"},
    {"layoutWidget2", "QWidget", "centralwidget"},
    {"horizontalLayout", "QHBoxLayout", "layoutWidget2"},
    {"labelTitle_2", "QLabel", "layoutWidget2"},
    {"labelTitle", "QLabel", "layoutWidget2"},
    {"frame_2", "QFrame", "centralwidget"},
    {"lblCsc", "QLabel", "frame_2"},
    {"lblHdrInput", "QLabel", "frame_2"},
    {"label_3", "QLabel", "centralwidget"},
    {"label_5", "QLabel", "centralwidget"},
    {"audioHdmi", "QRadioButton", "centralwidget"},
    {"audioJack", "QRadioButton", "centralwidget"},
    {"hdcp22", "QRadioButton", "centralwidget"},
    {"hdcp14", "QRadioButton", "centralwidget"},
    {"label_6", "QLabel", "centralwidget"},
    {"labelFw1", "QLabel", "centralwidget"},
    {"label_video_format", "QLabel", "centralwidget"},
    {"label_10", "QLabel", "centralwidget"},
    {"autoSwEn", "QRadioButton", "centralwidget"},
    {"autoSwDis", "QRadioButton", "centralwidget"},
    {"bPrioNorm", "QRadioButton", "centralwidget"},
    {"pPrioForce", "QRadioButton", "centralwidget"},
    {"label_12", "QLabel", "centralwidget"},
    {"tabWidget", "QTabWidget", "centralwidget"},
    {"tab", "QWidget", "tabWidget"},
    {"automixEDID", "QRadioButton", "tab"},
    {"cb2cForce", "QCheckBox", "tab"},
    {"cb51", "QCheckBox", "tab"},
    {"cbFull", "QCheckBox", "tab"},
    {"cbYUV", "QCheckBox", "tab"},
    {"cbBt2020", "QCheckBox", "tab"},
    {"cbHdr", "QCheckBox", "tab"},
    {"cb3D", "QCheckBox", "tab"},
    {"fixedEDID", "QRadioButton", "tab"},
    {"customEDID", "QRadioButton", "tab"},
    {"cmBEdid", "QComboBox", "tab"},
    {"EDIDtext", "QTextEdit", "tab"},
    {"layoutWidget", "QWidget", "tab"},
    {"gridLayout", "QGridLayout", "layoutWidget"},
    {"ButReadEDID", "QPushButton", "layoutWidget"},
    {"pbReadTvEdidA", "QPushButton", "layoutWidget"},
    {"pbReadTvEdidB", "QPushButton", "layoutWidget"},
    {"ButLoadEDID", "QPushButton", "layoutWidget"},
    {"ButSaveEDID", "QPushButton", "layoutWidget"},
    {"ButWriteEDID", "QPushButton", "layoutWidget"},
    {"tab_3", "QWidget", "tabWidget"},
    {"cbCec", "QCheckBox", "tab_3"},
    {"label_26", "QLabel", "tab_3"},
    {"label_28", "QLabel", "tab_3"},
    {"cmbLa", "QComboBox", "tab_3"},
    {"label_4", "QLabel", "tab_3"},
    {"CECtext", "QTextEdit", "tab_3"},
    {"ButWriteCEC", "QPushButton", "tab_3"},
    {"label_2", "QLabel", "tab_3"},
    {"ButSaveCEC_1", "QPushButton", "tab_3"},
    {"ButSaveCEC_2", "QPushButton", "tab_3"},
    {"tab_2", "QWidget", "tabWidget"},
    {"cbHdrForceMode", "QCheckBox", "tab_2"},
    {"bFullHdr", "QRadioButton", "tab_2"},
    {"label_36", "QLabel", "tab_2"},
    {"bSamHdr", "QRadioButton", "tab_2"},
    {"cbAviPersistent", "QCheckBox", "tab_2"},
    {"label_40", "QLabel", "tab_2"},
    {"label_8", "QLabel", "tab_2"},
    {"IFtext", "QTextEdit", "tab_2"},
    {"label_39", "QLabel", "tab_2"},
    {"ButWriteIF", "QPushButton", "tab_2"},
    {"label_20", "QLabel", "tab_2"},
    {"label_16", "QLabel", "tab_2"},
    {"label_32", "QLabel", "tab_2"},
    {"label_9", "QLabel", "tab_2"},
    {"AVItext", "QTextEdit", "tab_2"},
    {"label", "QLabel", "tab_2"},
    {"ButWriteAVI", "QPushButton", "tab_2"},
    {"label_13", "QLabel", "tab_2"},
    {"label_14", "QLabel", "tab_2"},
    {"label_19", "QLabel", "tab_2"},
    {"line_5", "QFrame", "tab_2"},
    {"label_41", "QLabel", "tab_2"},
    {"txtHdrIf", "QTextEdit", "tab_2"},
    {"label_22", "QLabel", "tab_2"},
    {"tab_4", "QWidget", "tabWidget"},
    {"label_27", "QLabel", "tab_4"},
    {"label_23", "QLabel", "tab_4"},
    {"enableLed", "QRadioButton", "tab_4"},
    {"disableLed", "QRadioButton", "tab_4"},
    {"label_25", "QLabel", "tab_4"},
    {"enableBLed", "QRadioButton", "tab_4"},
    {"disableBLed", "QRadioButton", "tab_4"},
    {"label_21", "QLabel", "tab_4"},
    {"bHdrRepurpDis", "QRadioButton", "tab_4"},
    {"bHdrRepurpEn", "QRadioButton", "tab_4"},
    {"label_15", "QLabel", "tab_4"},
    {"label_7", "QLabel", "tab_4"},
    {"enable420", "QRadioButton", "tab_4"},
    {"disable420", "QRadioButton", "tab_4"},
    {"label_29", "QLabel", "tab_4"},
    {"label_31", "QLabel", "tab_4"},
    {"cmbEdidAlgo", "QComboBox", "tab_4"},
    {"label_37", "QLabel", "tab_4"},
    {"label_38", "QLabel", "tab_4"},
    {"line_2", "QFrame", "tab_4"},
    {"label_33", "QLabel", "tab_4"},
    {"label_11", "QLabel", "tab_4"},
    {"disableAVR", "QRadioButton", "tab_4"},
    {"enableAVR", "QRadioButton", "tab_4"},
    {"label_30", "QLabel", "tab_4"},
    {"label_34", "QLabel", "tab_4"},
    {"line", "QFrame", "tab_4"},
    {"label_24", "QLabel", "tab_4"},
    {"cbClearSettings", "QCheckBox", "tab_4"},
    {"cbClearEdid", "QCheckBox", "tab_4"},
    {"layoutWidget1", "QWidget", "tab_4"},
    {"horizontalLayout_2", "QHBoxLayout", "layoutWidget1"},
    {"label_17", "QLabel", "layoutWidget1"},
    {"leReset", "QLineEdit", "layoutWidget1"},
    {"pbReset", "QPushButton", "layoutWidget1"},
    {"lblVideoSource", "QLabel", "centralwidget"},
    {"cmbInputSel", "QComboBox", "centralwidget"},
    {"menubar", "QMenuBar", "MainWindow"},
    {"menuFile", "QMenu", "menubar"},
    {"menuHelp", "QMenu", "menubar"},
    {"statusbar", "QStatusBar", "MainWindow"},
    {"actionExit", "QAction", "MainWindow"},
    {"actionAbout", "QAction", "MainWindow"},
};

const Member kStandardOnly[] = {
    {"horizontalLayoutWidget", "QWidget", "tab_3"},
    {"horizontalLayout_3", "QHBoxLayout", "horizontalLayoutWidget"},
};

struct Connection {
    const char* sender;
    const char* signal;
    const char* slot;
};

const Connection kConnections[] = {
    {"actionExit", "triggered()", "FileExit"},
    {"actionAbout", "triggered()", "FileAbout"},
    {"autoSwEn", "clicked()", "SetAutoSwitch"},
    {"audioHdmi", "clicked()", "SetAudioSource"},
    {"hdcp14", "clicked()", "SetHDCP_Version"},
    {"autoSwDis", "clicked()", "SetAutoSwitch"},
    {"audioJack", "clicked()", "SetAudioSource"},
    {"hdcp22", "clicked()", "SetHDCP_Version"},
    {"bPrioNorm", "clicked()", "setSwPriority"},
    {"pPrioForce", "clicked()", "setSwPriority"},
    {"ButReadEDID", "released()", "ReadEDID"},
    {"ButWriteEDID", "pressed()", "WriteEDID"},
    {"ButLoadEDID", "released()", "LoadEDIDfromFile"},
    {"ButSaveEDID", "released()", "SaveEDIDtoFile"},
    {"pbReadTvEdidA", "released()", "CalculateChkSum"},
    {"ButWriteCEC", "released()", "WriteCEC"},
    {"enable420", "clicked()", "SetOut_420"},
    {"disable420", "clicked()", "SetOut_420"},
    {"automixEDID", "clicked()", "SetEDID_Mode"},
    {"fixedEDID", "clicked()", "SetEDID_Mode"},
    {"customEDID", "clicked()", "SetEDID_Mode"},
    {"ButSaveCEC_1", "released()", "SaveCEC_1"},
    {"ButSaveCEC_2", "released()", "SaveCEC_2"},
    {"ButWriteIF", "released()", "WriteIF"},
    {"cb2cForce", "stateChanged(int)", "force2c"},
    {"cb51", "stateChanged(int)", "force51"},
    {"cbHdr", "stateChanged(int)", "forceHdr"},
    {"cbFull", "stateChanged(int)", "forceFullAudio"},
    {"cmBEdid", "currentIndexChanged(int)", "changeCustomEdid"},
    {"ButWriteAVI", "released()", "sendAVI"},
    {"enableLed", "clicked()", "setLogoLed"},
    {"disableLed", "clicked()", "setLogoLed"},
    {"cbBt2020", "stateChanged(int)", "setBt2020"},
    {"pbReset", "clicked()", "factoryReset"},
    {"enableBLed", "clicked()", "setBlueLed"},
    {"disableBLed", "clicked()", "setBlueLed"},
    {"cbYUV", "stateChanged(int)", "setYUV"},
    {"cbCec", "stateChanged(int)", "setCEC"},
    {"cmbLa", "currentIndexChanged(int)", "setCecLa"},
    {"enableAVR", "clicked()", "setAVR"},
    {"disableAVR", "clicked()", "setAVR"},
    {"pbReadTvEdidA", "pressed()", "readTvEdidA"},
    {"pbReadTvEdidB", "pressed()", "readTvEdidB"},
    {"cb3D", "stateChanged(int)", "set3D"},
    {"cmbEdidAlgo", "currentIndexChanged(int)", "setEdidAlgo"},
    {"bHdrRepurpEn", "clicked()", "CecLpRepurp"},
    {"bHdrRepurpDis", "clicked()", "CecLpRepurp"},
    {"cmbInputSel", "currentIndexChanged(int)", "SetActivePort"},
    {"cbAviPersistent", "clicked()", "setAviPers"},
    {"cbHdrForceMode", "stateChanged(int)", "hdrForceActivate"},
    {"bSamHdr", "clicked()", "hdrSamsung"},
    {"bFullHdr", "clicked()", "hdrSamsung"},
};

const char* const kTabOrder[] = {
    "autoSwEn",        "audioHdmi",     "audioJack",      "hdcp22",       "tabWidget",
    "autoSwDis",       "bPrioNorm",     "pPrioForce",     "hdcp14",       "cmBEdid",
    "EDIDtext",        "cb2cForce",     "cbFull",         "cb51",         "automixEDID",
    "fixedEDID",       "customEDID",    "cbHdr",          "cbBt2020",     "cbYUV",
    "ButReadEDID",     "pbReadTvEdidA", "pbReadTvEdidB",  "ButLoadEDID",  "ButSaveEDID",
    "ButWriteEDID",    "cb3D",          "CECtext",        "ButSaveCEC_1", "ButSaveCEC_2",
    "ButWriteCEC",     "cbCec",         "cmbLa",          "IFtext",       "ButWriteIF",
    "AVItext",         "ButWriteAVI",   "cbHdrForceMode", "bSamHdr",      "bFullHdr",
    "cbClearSettings", "enableLed",     "disableLed",     "enableBLed",   "disableBLed",
    "leReset",         "pbReset",       "enable420",      "disable420",   "disableAVR",
    "enableAVR",
};

// Names Qt gives the inner parts of composite widgets; they are not form members.
bool isQtInternal(const QString& name) {
    return name.isEmpty() || name.startsWith(QLatin1String("qt_")) ||
           name == QLatin1String("_layout") || name.startsWith(QLatin1String("Scroll"));
}

QString namedParent(const QObject* object) {
    for (QObject* p = object->parent(); p; p = p->parent())
        if (!isQtInternal(p->objectName()))
            return p->objectName();
    return {};
}

// Runs `signature` (e.g. "stateChanged(int)") on `sender` as if the widget had
// emitted it; int arguments get 2 (Qt::Checked, or a list index).
bool emitSignal(QObject* sender, const char* signature) {
    const QMetaObject* meta = sender->metaObject();
    const int index = meta->indexOfSignal(QMetaObject::normalizedSignature(signature).constData());
    if (index < 0)
        return false;
    const QMetaMethod method = meta->method(index);
    if (method.parameterCount() == 0)
        return method.invoke(sender, Qt::DirectConnection);
    if (method.parameterCount() == 1 && method.parameterType(0) == QMetaType::Int)
        return method.invoke(sender, Qt::DirectConnection, Q_ARG(int, 2));
    if (method.parameterCount() == 1 && method.parameterType(0) == QMetaType::Bool)
        return method.invoke(sender, Qt::DirectConnection, Q_ARG(bool, true));
    return false;
}

// A window whose device is absent, so start-up stops at once and leaves the form as built.
struct BareWindow : WindowHarness {
    QStringList ran;

    BareWindow() {
        usb.serials.clear();
        start();
        MainWindow::slotObserver = [this](const char* name) { ran << QString::fromLatin1(name); };
    }
    ~BareWindow() { MainWindow::slotObserver = nullptr; }

    template <typename T = QObject> T* get(const char* name) {
        T* object = window->findChild<T*>(QString::fromLatin1(name));
        if (!object && window->objectName() == QLatin1String(name))
            object = qobject_cast<T*>(window.get());
        return object;
    }
    // Shows the window with the page that holds `widget` in front, for real mouse events.
    bool bringToFront(QWidget* widget) {
        auto* tabs = get<QTabWidget>("tabWidget");
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->widget(i)->isAncestorOf(widget))
                tabs->setCurrentIndex(i);
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }
};

} // namespace

class tst_win_form : public QObject {
    Q_OBJECT

private slots:
    void everyMemberHasItsClassAndParent();
    void buttonGroups_data();
    void buttonGroups();
    void formLeavesControlsInTheirFirstState();
    void eachConnectionRunsItsSlot_data();
    void eachConnectionRunsItsSlot();
    void noConnectionsBeyondTheTable();
    void buttonsActOnPressReleaseOrClick();
    void programChangesReachOnlyCheckBoxAndListSlots();
    void focusChain();
    void listAndTextLimits();
    void windowMenusAndPages();
    void resourcesAreEmbedded();
    void variantDifferences();
};

void tst_win_form::everyMemberHasItsClassAndParent() {
    BareWindow w;
    QSet<QString> expected;
    auto check = [&](const Member& m, const char* parent) {
        expected << QString::fromLatin1(m.name);
        QObject* object = w.get(m.name);
        QVERIFY2(object, m.name);
        QCOMPARE(object->metaObject()->className(), m.className);
        QCOMPARE(namedParent(object), QString::fromLatin1(parent));
    };
    for (const Member& m : kMembers) {
        const bool inCecRow = !qstrcmp(m.name, "label_28") || !qstrcmp(m.name, "cmbLa");
        check(m, inCecRow && !kDpi200Build ? "horizontalLayoutWidget" : m.parent);
        if (QTest::currentTestFailed())
            return;
    }
    for (const Member& m : kStandardOnly) {
        if (kDpi200Build) {
            QVERIFY2(!w.get(m.name), m.name);
            continue;
        }
        check(m, m.parent);
        if (QTest::currentTestFailed())
            return;
    }
    // Eleven button groups belong to the window too; nothing else carries a name.
    for (int i : {2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 13})
        expected << QStringLiteral("buttonGroup_%1").arg(i);
    QSet<QString> found;
    for (QObject* object : w.window->findChildren<QObject*>())
        if (!isQtInternal(object->objectName()))
            found << object->objectName();
    QCOMPARE(found, expected);
    QCOMPARE(found.size(), kDpi200Build ? 136 : 138);

    // The layouts hold their widgets in the stated places.
    auto* grid = w.get<QGridLayout>("gridLayout");
    const char* cells[2][3] = {{"ButReadEDID", "pbReadTvEdidA", "pbReadTvEdidB"},
                               {"ButLoadEDID", "ButSaveEDID", "ButWriteEDID"}};
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < 3; ++column)
            QCOMPARE(grid->itemAtPosition(row, column)->widget()->objectName(),
                     QString::fromLatin1(cells[row][column]));
    QCOMPARE(grid->contentsMargins(), QMargins());
    auto rowOf = [&](const char* layout) {
        QStringList names;
        auto* box = w.get<QBoxLayout>(layout);
        for (int i = 0; i < box->count(); ++i)
            names << box->itemAt(i)->widget()->objectName();
        if (!box->contentsMargins().isNull())
            names << QStringLiteral("(margins)");
        return names;
    };
    QCOMPARE(rowOf("horizontalLayout"), QStringList({"labelTitle_2", "labelTitle"}));
    QCOMPARE(rowOf("horizontalLayout_2"), QStringList({"label_17", "leReset", "pbReset"}));
    if (!kDpi200Build)
        QCOMPARE(rowOf("horizontalLayout_3"), QStringList({"label_28", "cmbLa"}));
}

void tst_win_form::buttonGroups_data() {
    QTest::addColumn<QStringList>("members");
    QTest::addColumn<QString>("checked");
    QTest::newRow("buttonGroup_3") << QStringList{"audioHdmi", "audioJack"} << "audioHdmi";
    QTest::newRow("buttonGroup_4") << QStringList{"hdcp22", "hdcp14"} << "hdcp14";
    QTest::newRow("buttonGroup_2") << QStringList{"autoSwEn", "autoSwDis"} << "autoSwEn";
    QTest::newRow("buttonGroup_5") << QStringList{"bPrioNorm", "pPrioForce"} << "bPrioNorm";
    QTest::newRow("buttonGroup_6")
        << QStringList{"automixEDID", "fixedEDID", "customEDID"} << "automixEDID";
    QTest::newRow("buttonGroup_7") << QStringList{"bFullHdr", "bSamHdr"} << "bFullHdr";
    QTest::newRow("buttonGroup_10") << QStringList{"enableLed", "disableLed"} << "";
    QTest::newRow("buttonGroup_9") << QStringList{"enableBLed", "disableBLed"} << "";
    QTest::newRow("buttonGroup_8") << QStringList{"enable420", "disable420"} << "";
    QTest::newRow("buttonGroup_12") << QStringList{"disableAVR", "enableAVR"} << "";
    QTest::newRow("buttonGroup_13") << QStringList{"bHdrRepurpDis", "bHdrRepurpEn"} << "";
}

void tst_win_form::buttonGroups() {
    QFETCH(QStringList, members);
    QFETCH(QString, checked);
    BareWindow w;
    auto* group = w.get<QButtonGroup>(QTest::currentDataTag());
    QVERIFY(group);
    QCOMPARE(group->parent(), w.window.get());
    QVERIFY(group->exclusive());
    QStringList names;
    for (QAbstractButton* b : group->buttons()) {
        names << b->objectName();
        QVERIFY(qobject_cast<QRadioButton*>(b));
        QVERIFY(b->autoExclusive());
    }
    QCOMPARE(names, members);
    QCOMPARE(group->checkedButton() ? group->checkedButton()->objectName() : QString(), checked);

    // Once one is checked, the group keeps exactly one checked.
    auto* last = group->buttons().constLast();
    last->click();
    QVERIFY(last->isChecked());
    group->buttons().constFirst()->click();
    QVERIFY(!last->isChecked());
    QCOMPARE(group->checkedButton(), group->buttons().constFirst());
}

void tst_win_form::formLeavesControlsInTheirFirstState() {
    BareWindow w;
    const QStringList checkedBoxes{"cbYUV", "cbHdr", "cbCec"};
    for (QCheckBox* box : w.window->findChildren<QCheckBox*>()) {
        QCOMPARE(box->isChecked(), checkedBoxes.contains(box->objectName()));
        QVERIFY(!box->isTristate());
    }
    // Radio buttons outside a group would break the one-of-two rows.
    for (QRadioButton* radio : w.window->findChildren<QRadioButton*>())
        QVERIFY2(radio->group(), qPrintable(radio->objectName()));
    QCOMPARE(w.window->findChildren<QRadioButton*>().size(), 23);
    for (QWidget* widget : w.window->findChildren<QWidget*>()) {
        if (isQtInternal(widget->objectName()))
            continue;
        QVERIFY2(widget->isEnabled(), qPrintable(widget->objectName()));
        QVERIFY2(widget->styleSheet().isEmpty(), qPrintable(widget->objectName()));
    }
    for (QTextEdit* edit : w.window->findChildren<QTextEdit*>())
        QVERIFY(!edit->isReadOnly());
    QVERIFY(!w.get<QLineEdit>("leReset")->isReadOnly());
    for (QComboBox* list : w.window->findChildren<QComboBox*>())
        QCOMPARE(list->count(), 0); // the lists are filled in code, and only with a device
    QCOMPARE(w.get<QTabWidget>("tabWidget")->currentIndex(), 0);
    QVERIFY(!w.get<QPushButton>("ButWriteIF")->isCheckable());
    QVERIFY(!w.get<QPushButton>("ButWriteAVI")->isCheckable());
    QCOMPARE(w.get<QLabel>("labelFw1")->text(), QStringLiteral("ver: "));
    QCOMPARE(w.get<QLabel>("labelTitle")->text(), QStringLiteral("KORVANTA GUI"));
    QCOMPARE(w.get<QRadioButton>("enable420")->toolTip(),
             QStringLiteral("Enabled for 600MHz inputs only"));
    QCOMPARE(w.get<QRadioButton>("enableAVR")->toolTip(),
             QStringLiteral("Enabled for 600MHz inputs only"));
}

void tst_win_form::eachConnectionRunsItsSlot_data() {
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QByteArray>("signal");
    QTest::addColumn<QString>("slot");
    int row = 0;
    for (const Connection& c : kConnections) {
        ++row;
        // FileExit ends the process; noConnectionsBeyondTheTable proves it is connected.
        if (!qstrcmp(c.slot, "FileExit"))
            continue;
        QTest::addRow("%d %s %s", row, c.sender, c.signal)
            << QString::fromLatin1(c.sender) << QByteArray(c.signal) << QString::fromLatin1(c.slot);
    }
}

void tst_win_form::eachConnectionRunsItsSlot() {
    QFETCH(QString, sender);
    QFETCH(QByteArray, signal);
    QFETCH(QString, slot);
    BareWindow w;
    QObject* object = w.get(sender.toLatin1().constData());
    QVERIFY(object);
    QVERIFY(emitSignal(object, signal.constData()));
    // The slot may call further slots of its own; the connected one runs first.
    QVERIFY(!w.ran.isEmpty());
    QCOMPARE(w.ran.first(), slot);
}

void tst_win_form::noConnectionsBeyondTheTable() {
    BareWindow w;
    // Each table row is one connection: the first disconnect finds it, a second one nothing.
    for (const Connection& c : kConnections) {
        const QByteArray signal = QByteArray("2") + c.signal;
        const QByteArray slot = QByteArray("1") + c.slot + "()";
        QObject* sender = w.get(c.sender);
        QVERIFY2(QObject::disconnect(sender, signal, w.window.get(), slot), c.sender);
        QVERIFY2(!QObject::disconnect(sender, signal, w.window.get(), slot), c.sender);
    }
    // With those gone, no signal of any control reaches the window any more. Clicking
    // radio buttons changes only the groups, so every signal can be fired safely.
    const char* const signalNames[] = {"clicked()",          "pressed()",
                                       "released()",         "toggled(bool)",
                                       "stateChanged(int)",  "currentIndexChanged(int)",
                                       "activated(int)",     "textChanged(QString)",
                                       "triggered()",        "hovered()",
                                       "editingFinished()",  "returnPressed()",
                                       "currentChanged(int)"};
    int fired = 0;
    for (QObject* object : w.window->findChildren<QObject*>()) {
        if (isQtInternal(object->objectName()))
            continue;
        for (const char* signal : signalNames)
            fired += emitSignal(object, signal);
    }
    QVERIFY(fired > 100);
    QCOMPARE(w.ran, QStringList());
}

void tst_win_form::buttonsActOnPressReleaseOrClick() {
    BareWindow w;
    struct Case {
        const char* button;
        QStringList onPress;
        QStringList onRelease;
    };
    const Case cases[] = {
        {"pbReadTvEdidA", {"readTvEdidA"}, {"CalculateChkSum"}},
        {"pbReadTvEdidB", {"readTvEdidB"}, {}},
        {"ButWriteEDID", {"WriteEDID"}, {}},
        {"ButReadEDID", {}, {"ReadEDID"}},
        {"ButWriteCEC", {}, {"WriteCEC"}},
        {"pbReset", {}, {"factoryReset"}},
    };
    for (const Case& c : cases) {
        auto* button = w.get<QPushButton>(c.button);
        QVERIFY(w.bringToFront(button));
        w.ran.clear();
        QTest::mousePress(button, Qt::LeftButton);
        QCOMPARE(w.ran.mid(0, c.onPress.size()), c.onPress);
        const qsizetype afterPress = w.ran.size();
        QTest::mouseRelease(button, Qt::LeftButton);
        QCOMPARE(w.ran.mid(afterPress, c.onRelease.size()), c.onRelease);
        if (c.onPress.isEmpty())
            QCOMPARE(afterPress, 0);
        if (c.onRelease.isEmpty())
            QCOMPARE(w.ran.size(), afterPress);
    }
}

void tst_win_form::programChangesReachOnlyCheckBoxAndListSlots() {
    BareWindow w;
    // Radio buttons answer clicks only, even a click on the button already checked.
    auto* enable = w.get<QRadioButton>("autoSwEn");
    auto* disable = w.get<QRadioButton>("autoSwDis");
    disable->setChecked(true);
    enable->setChecked(true);
    QCOMPARE(w.ran, QStringList());
    enable->click();
    enable->click();
    QCOMPARE(w.ran, QStringList({"SetAutoSwitch", "SetAutoSwitch"}));

    // Check boxes follow their state, whoever changes it; the AVI box only a click.
    w.ran.clear();
    w.get<QCheckBox>("cb51")->setChecked(true);
    QCOMPARE(w.ran.value(0), QStringLiteral("force51"));
    w.ran.clear();
    auto* avi = w.get<QCheckBox>("cbAviPersistent");
    avi->setChecked(true);
    avi->setChecked(false);
    QCOMPARE(w.ran, QStringList());
    avi->click();
    QCOMPARE(w.ran.value(0), QStringLiteral("setAviPers"));

    // A list's first item moves its index from -1 to 0.
    w.ran.clear();
    w.get<QComboBox>("cmbInputSel")->addItem(QStringLiteral("PORT A [TOP]"));
    QCOMPARE(w.ran.value(0), QStringLiteral("SetActivePort"));
    w.ran.clear();
    w.get<QComboBox>("cmbInputSel")->addItem(QStringLiteral("PORT B [BOT]"));
    QCOMPARE(w.ran, QStringList());
}

void tst_win_form::focusChain() {
    BareWindow w;
    // Walk the chain from its head. Inner parts of a compound widget (the tab
    // bar, a viewport) may follow it; any other widget in between is a fault.
    QWidget* current = w.get<QWidget>(kTabOrder[0]);
    QWidget* lastMatched = current;
    int matched = 1;
    const int limit = int(w.window->findChildren<QWidget*>().size()) * 2;
    for (int step = 0; step < limit && matched < int(std::size(kTabOrder)); ++step) {
        current = current->nextInFocusChain();
        const QString name = current->objectName();
        if (name == QLatin1String(kTabOrder[matched])) {
            lastMatched = current;
            ++matched;
            continue;
        }
        const bool focusable = current->focusPolicy() & Qt::TabFocus;
        QVERIFY2(!focusable || isQtInternal(name) || lastMatched->isAncestorOf(current) ||
                     current->isAncestorOf(lastMatched),
                 qPrintable(
                     QStringLiteral("%1 stands after %2, before %3")
                         .arg(name, lastMatched->objectName(), QLatin1String(kTabOrder[matched]))));
    }
    QCOMPARE(matched, int(std::size(kTabOrder)));
}

void tst_win_form::listAndTextLimits() {
    BareWindow w;
    auto fill = [](QComboBox* list, int items) {
        for (int i = 0; i < items; ++i)
            list->addItem(QString::number(i));
        return list->count();
    };
    QCOMPARE(fill(w.get<QComboBox>("cmBEdid"), 12), 10);
    QCOMPARE(fill(w.get<QComboBox>("cmbLa"), 20), 15);
    QCOMPARE(w.get<QComboBox>("cmbInputSel")->maxCount(), INT_MAX);
    QCOMPARE(w.get<QComboBox>("cmbEdidAlgo")->maxCount(), INT_MAX);

    auto* reset = w.get<QLineEdit>("leReset");
    QVERIFY(w.bringToFront(reset));
    reset->setFocus();
    QTest::keyClicks(reset, QString(60, QLatin1Char('R')));
    QCOMPARE(reset->text(), QString(50, QLatin1Char('R')));
    QVERIFY(reset->hasFrame());
}

void tst_win_form::windowMenusAndPages() {
    BareWindow w;
    MainWindow& window = *w.window;
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window.windowTitle(), QStringLiteral("KORVANTA UTILITY"));
    QCOMPARE(window.maximumSize(), QSize(1000, 1000));
    QCOMPARE(window.sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(window.sizePolicy().verticalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(window.centralWidget(), w.get<QWidget>("centralwidget"));
    QCOMPARE(window.centralWidget()->layout(), nullptr);
    QCOMPARE(window.menuBar(), w.get<QMenuBar>("menubar"));
    QCOMPARE(window.statusBar(), w.get<QStatusBar>("statusbar"));
    QVERIFY(!window.windowIcon().isNull());
    const QImage icon = window.windowIcon().pixmap(32, 32).toImage();
    const QImage logo(QStringLiteral(":/Korvanta_32.png"));
    QCOMPARE(icon.convertToFormat(QImage::Format_ARGB32_Premultiplied),
             logo.convertToFormat(QImage::Format_ARGB32_Premultiplied));

    // File holds Exit, Help holds About; neither has a shortcut.
    const QList<QAction*> bar = window.menuBar()->actions();
    QCOMPARE(bar.size(), 2);
    QCOMPARE(bar[0]->menu(), w.get<QMenu>("menuFile"));
    QCOMPARE(bar[1]->menu(), w.get<QMenu>("menuHelp"));
    QCOMPARE(w.get<QMenu>("menuFile")->title(), QStringLiteral("File"));
    QCOMPARE(w.get<QMenu>("menuHelp")->title(), QStringLiteral("Help"));
    QCOMPARE(w.get<QMenu>("menuFile")->actions(), QList<QAction*>{w.get<QAction>("actionExit")});
    QCOMPARE(w.get<QMenu>("menuHelp")->actions(), QList<QAction*>{w.get<QAction>("actionAbout")});
    QCOMPARE(w.get<QAction>("actionExit")->text(), QStringLiteral("Exit"));
    QCOMPARE(w.get<QAction>("actionAbout")->text(), QStringLiteral("About"));
    QVERIFY(w.get<QAction>("actionExit")->shortcut().isEmpty());
    QVERIFY(w.get<QAction>("actionAbout")->shortcut().isEmpty());

    auto* tabs = w.get<QTabWidget>("tabWidget");
    QCOMPARE(tabs->count(), 4);
    const char* pages[] = {"tab", "tab_3", "tab_2", "tab_4"};
    for (int i = 0; i < 4; ++i)
        QCOMPARE(tabs->widget(i)->objectName(), QString::fromLatin1(pages[i]));
    QCOMPARE(tabs->tabText(2), QStringLiteral("HDR / IF"));
    QCOMPARE(tabs->tabText(3), QStringLiteral("CONFIG"));

    // The status lines lie over the status box and are drawn above it.
    const QObjectList header = w.get<QWidget>("centralwidget")->children();
    QVERIFY(header.indexOf(w.get("lblVideoSource")) > header.indexOf(w.get("frame_2")));
    QVERIFY(header.indexOf(w.get("label_video_format")) > header.indexOf(w.get("frame_2")));
    QCOMPARE(header.constLast(), w.get("cmbInputSel"));
}

void tst_win_form::resourcesAreEmbedded() {
    for (int size : {16, 32, 48})
        QCOMPARE(QImage(QStringLiteral(":/Korvanta_%1.png").arg(size)).size(), QSize(size, size));
    QCOMPARE(QImage(QStringLiteral(":/Korvanta.png")).size(), QSize(512, 512));
    QImageReader icon(QStringLiteral(":/Korvanta.ico"));
    QVERIFY2(icon.canRead(), qPrintable(icon.errorString()));
    QCOMPARE(icon.imageCount(), 6);

    const QResource form(QStringLiteral(":/QT/forms/KorvantaForm.ui"));
    QVERIFY(form.isValid());
    QCOMPARE(form.compressionAlgorithm(), QResource::ZlibCompression);
    // It is this build's form: the first size it states is the window's own.
    QXmlStreamReader xml(form.uncompressedData());
    QSize stated;
    while (!xml.atEnd() && !(stated.width() > 0 && stated.height() > 0)) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("width"))
            stated.setWidth(xml.readElementText().toInt());
        else if (xml.name() == QLatin1String("height"))
            stated.setHeight(xml.readElementText().toInt());
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    BareWindow w;
    QCOMPARE(stated, w.window->size());
}

void tst_win_form::variantDifferences() {
    struct Text {
        const char* name;
        const char* dpi200;
        const char* standard;
    };
    const Text texts[] = {
        {"cb2cForce", "2.0", "2.0 Stereo"},
        {"cb51", "5.1", "5.1 Multi"},
        {"automixEDID", "AUTOMIX: Auto create the EDID table",
         "AUTOMIX: Allow KORVANTAto create the EDID table"},
        {"customEDID", "CUSTOM:", "CUSTOM Select:"},
        {"cbHdr", "HDR", "HDR packet"},
        {"cbYUV", "YCbCr", "Allow YCbCr"},
        {"cb3D", "No 3D", "3D Remove"},
        {"ButReadEDID", "Read EDID", "Read Korvanta EDID"},
        {"pbReadTvEdidA", "Read TOP", "Read TV [TOP] EDID"},
        {"pbReadTvEdidB", "Read BOT", "Read TV [BOT] EDID"},
        {"ButLoadEDID", "Load", "Load from File"},
        {"ButSaveEDID", "Save", "Save to File"},
        {"ButWriteEDID", "Write EDID", "Write EDID to Korvanta"},
        {"label_20", "<html><head/><body><p>Example:87:01:17:5c:02:00:d0:84:..</p></body></html>",
         "<html><head/><body><p>Example:87:01:17:5c:02:00:d0:84:80:3e:c2:33:..</p></body></html>"},
        {"label_16", "Header and CRC, length 2-31 bytes",
         "include header and CRC, length 2-31 bytes"},
        {"cbHdrForceMode", "FORCE HDR ACTIVE", "FORCE HDR ALWAYS ACTIVE"},
        {"bSamHdr", "Samsung mode", "Samsung HDR mode"},
        {"label_36", "Send the HDR IF below", "Activate HDR - send the HDR IF below"},
        {"label_39", "The above infoframe is injected",
         "This infoframe is injected when HDR is active"},
        {"label_17", "Type RESET:", "Type RESET and click OK:"},
        {"label_29", "600MHz automatic 4:4:4/RGB to 4:2:0 conversion",
         "Enable 600MHz automatic 4:4:4/RGB to 4:2:0 conversion"},
    };
    {
        BareWindow w;
        for (const Text& t : texts) {
            QObject* object = w.get(t.name);
            QVERIFY2(object, t.name);
            QCOMPARE(object->property("text").toString(),
                     QString::fromUtf8(kDpi200Build ? t.dpi200 : t.standard));
        }
        auto* tabs = w.get<QTabWidget>("tabWidget");
        QCOMPARE(tabs->tabText(0),
                 kDpi200Build ? QStringLiteral("EDID") : QStringLiteral("EDID MANAGER"));
        QCOMPARE(tabs->tabText(1),
                 kDpi200Build ? QStringLiteral("CEC") : QStringLiteral("CEC COMMANDER"));
        QCOMPARE(w.window->size(), kDpi200Build ? QSize(400, 800) : QSize(377, 768));
        QCOMPARE(tabs->geometry(),
                 kDpi200Build ? QRect(5, 230, 386, 506) : QRect(5, 230, 366, 481));
        // Only the 200 % build sets fonts on the window, its bars and actions.
        QCOMPARE(w.window->testAttribute(Qt::WA_SetFont), kDpi200Build);
        QCOMPARE(tabs->testAttribute(Qt::WA_SetFont), kDpi200Build);
        QCOMPARE(w.get<QWidget>("menubar")->testAttribute(Qt::WA_SetFont), kDpi200Build);
        QCOMPARE(w.get<QWidget>("statusbar")->testAttribute(Qt::WA_SetFont), kDpi200Build);
        if (kDpi200Build) {
            QCOMPARE(w.window->font().pointSize(), 8);
            QCOMPARE(w.get<QAction>("actionExit")->font().pointSize(), 7);
        }
    }
    // The first entry of the automix list, filled at start-up on a device.
    WindowHarness device;
    device.start();
    QCOMPARE(device.ui()->cmbEdidAlgo->itemText(0),
             kDpi200Build ? QStringLiteral("Min Mixed [Default]")
                          : QStringLiteral("Min Mixed Capabilities [Default]"));
}

QTEST_MAIN(tst_win_form)
#include "tst_win_form.moc"
