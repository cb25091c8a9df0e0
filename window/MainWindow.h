#pragma once

#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QProgressBar;
class QTimer;
namespace Ui {
class MainWindow;
}
namespace session {
class Reporter;
}

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Generic device operations; their failures go to this window's status bar.
    bool readConfig(std::uint8_t registerIndex, std::uint8_t* reply, std::uint8_t length);
    bool writeSetting(std::uint8_t settingIndex, int value);
    bool readValues(std::uint8_t* reply, std::uint8_t length);
    bool writeSettingsBlock(const std::uint8_t* block);

    void startPollTimer(int intervalMs);
    void stopPollTimer();

    Ui::MainWindow* form() const { return ui; }
    QProgressBar* progressBar() const { return progress; }

    // Tests watch which slot ran; nothing is installed in the program.
    static std::function<void(const char*)> slotObserver;
    // Told the ID of the unit the window picked, before it opens it, so that
    // a service running for that unit can take its transactions.
    static std::function<void(const std::string& id)> devicePicked;

public slots:
    void on_ProgressChange(int value, int maximum);

private slots:
    void SaveEDIDtoFile();
    void LoadEDIDfromFile();
    void FileExit();
    void FileAbout();
    void ReadEDID();
    void WriteEDID();
    void WriteCEC();
    void WriteIF();
    void CalculateChkSum();
    void SetActivePort();
    void SetAutoSwitch();
    void SetAudioSource();
    void SetHDCP_Version();
    void SetOut_420();
    void SetEDID_Mode();
    void SetEPState();
    void SaveCEC_1();
    void SaveCEC_2();
    void force2c();
    void force51();
    void forceHdr();
    void forceFullAudio();
    void setSwPriority();
    void changeCustomEdid();
    bool sendAVI();
    void CecLpRepurp();
    void hdrForceActivate();
    void hdrSamsung();
    void setLogoLed();
    void setBt2020();
    void setBlueLed();
    void factoryReset();
    void setYUV();
    void setCEC();
    void setCecLa();
    void setAVR();
    void readTvEdidA();
    void readTvEdidB();
    void set3D();
    void setEdidAlgo();
    void setAviPers();

protected:
    void timerEvent(QTimerEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void initialise();
    // The device to open: KORVANTA_DEVICE's, the only one, or the one the
    // user picks when several are there. False when there is none to open.
    bool findStartupDevice();
    void releaseForm();
    // Names the unit in the title when it is one of several.
    void notePicked(const std::string& id);
    // Says what became of the service that owns the device; true when it is
    // gone and the tick has nothing to ask.
    bool followOwner();
    void tryReconnect();
    // The service has stayed away: the window opens its unit itself, without
    // a box for each try that finds the device still taken.
    bool openUnitDirectly();
    void noteSlot(const char* name);
    void clearEdidTextBuffer();
    void showStatus(const char* text, int timeoutMs);
    // Where the device flows report: the status bar, the progress bar, stdout.
    session::Reporter& reporter() { return *reporter_; }

    // Settings
    void readbackConfiguration();
    // Sends one setting as its controls show it (see settings/SettingsMap.h).
    void writeSettingFromControls(int settingIndex);

    // Status
    void decodeStatus();
    // No header at all rather than a stale one shown as live.
    void clearStatusHeader();

    // EDID
    void pollEdidBusy();
    bool readTvEdid(int output);
    bool readEdid(std::uint8_t prepareCommand, const char* doneText, const char* failedText);
    bool writeEdidImage();
    void installProgressBar();
    bool editorEdidImage(std::uint8_t* image);
    void formatEdidText(const std::uint8_t* image);
    void showEdidText(const QString& text, bool fromTextFile);

    // CEC and InfoFrames
    bool sendHdrInfoFrame();
    bool sendCecCommand();
    bool storeCecCommand(std::uint8_t command);

    QProgressBar* progress = nullptr;
    QTimer* reconnectTimer = nullptr;
    std::string unitId;
    std::uint32_t serviceGoneSinceMs = 0;
    Ui::MainWindow* ui = nullptr;
    std::unique_ptr<session::Reporter> reporter_;
};
