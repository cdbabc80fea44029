#include <QComboBox>
#include <QPushButton>

#include "app/SoundCardDlg.h"
#include "tests/app/FrameTestSupport.h"

namespace {

QVariant Stored(const char* key) { return QSettings().value(QStringLiteral("SoundCard/") + key); }

void Store(const QVariant& id, const QString& name) {
    QSettings s;
    s.setValue(QStringLiteral("SoundCard/DeviceId"), id);
    s.setValue(QStringLiteral("SoundCard/Name"), name);
}

QStringList Items(const CSoundCardDlg& dlg) {
    QStringList items;
    for (int i = 0; i < dlg.DeviceList()->count(); ++i) items << dlg.DeviceList()->itemText(i);
    return items;
}

}  // namespace

using SoundCardDlg = FrameTest;

TEST_F(SoundCardDlg, FirstRunListsEveryDeviceWithNoneSelectedAndOkStoresTheDefault) {
    m_service.m_inNames = {"Line In  ", "USB Audio 96k", "JJY シミュレーター (内蔵)"};
    CSoundCardDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("サウンドカードの設定"));
    EXPECT_EQ(Items(dlg), (QStringList{"Line In", "USB Audio 96k", "JJY シミュレーター (内蔵)"}));
    EXPECT_EQ(dlg.DeviceList()->currentIndex(), -1);
    EXPECT_FALSE(dlg.DeviceList()->isEditable());
    dlg.accept();
    EXPECT_EQ(Stored("DeviceId").toInt(), -1);
    EXPECT_EQ(Stored("Name").toString(), QString());
}

TEST_F(SoundCardDlg, SelectsOnlyTheStoredNumberUnderItsStoredName) {
    m_service.m_inNames = {"Twin", "Twin", "Other"};
    Store(1, QStringLiteral("Twin   "));
    {
        CSoundCardDlg dlg;
        EXPECT_EQ(dlg.DeviceList()->currentIndex(), 1);
    }
    Store(2, QStringLiteral("Twin"));  // another device has that number now
    CSoundCardDlg dlg;
    EXPECT_EQ(dlg.DeviceList()->currentIndex(), -1);
    dlg.accept();  // the loaded pair goes back unchanged
    EXPECT_EQ(Stored("DeviceId").toInt(), 2);
    EXPECT_EQ(Stored("Name").toString(), QStringLiteral("Twin"));
}

TEST_F(SoundCardDlg, ChoosingStoresTheTrimmedNameOnOkOnly) {
    m_service.m_inNames = {"A", "Card B   "};
    Store(0, QStringLiteral("A"));
    {
        CSoundCardDlg dlg;
        emit dlg.DeviceList()->activated(1);
        EXPECT_EQ(dlg.DeviceList()->currentIndex(), 1);
        dlg.reject();
    }
    EXPECT_EQ(Stored("DeviceId").toInt(), 0);
    EXPECT_EQ(Stored("Name").toString(), QStringLiteral("A"));

    CSoundCardDlg dlg;
    emit dlg.DeviceList()->activated(1);
    dlg.accept();
    EXPECT_EQ(Stored("DeviceId").toInt(), 1);
    EXPECT_EQ(Stored("Name").toString(), QStringLiteral("Card B"));
}

TEST_F(SoundCardDlg, NoDevicesGiveAnEmptyListAndNonsenseFallsBackToTheDefaults) {
    m_service.m_inNames.clear();
    Store(3, QStringLiteral("Gone"));
    {
        CSoundCardDlg dlg;
        EXPECT_EQ(dlg.DeviceList()->count(), 0);
        dlg.accept();
        EXPECT_EQ(Stored("DeviceId").toInt(), 3);
        EXPECT_EQ(Stored("Name").toString(), QStringLiteral("Gone"));
    }
    m_service.m_inNames = {"X"};
    Store(QStringLiteral("not a number"), QString(100000, QChar(0x7F)));
    CSoundCardDlg dlg;
    EXPECT_EQ(dlg.m_deviceId, -1);
    EXPECT_EQ(dlg.DeviceList()->currentIndex(), -1);
    EXPECT_EQ(StoredCaptureDevice(), velto::WAVE_MAPPER);
}

TEST(TrimTrailingSpaces, RemovesSpacesOnly) {
    EXPECT_EQ(TrimTrailingSpaces(QStringLiteral("Card  ")), QStringLiteral("Card"));
    EXPECT_EQ(TrimTrailingSpaces(QStringLiteral("Card\t ")), QStringLiteral("Card\t"));
    EXPECT_EQ(TrimTrailingSpaces(QStringLiteral("   ")), QString());
    EXPECT_EQ(TrimTrailingSpaces(QStringLiteral(" a b ")), QStringLiteral(" a b"));
}

TEST_F(FrameTest, StartOpensTheStoredDeviceWhileItMatchesElseTheDefault) {
    m_service.m_inNames = {"Line In", "USB Audio"};
    Store(1, QStringLiteral("USB Audio"));
    m_frame->SendCommand(ID_RECEIVE_START);
    EXPECT_EQ(m_frame->m_wave.Spec().deviceId, 1);
    EXPECT_EQ(m_frame->m_wave.Spec().name, "USB Audio");
    m_frame->SendCommand(ID_RECEIVE_START);

    Store(1, QStringLiteral("Line In"));
    m_frame->SendCommand(ID_RECEIVE_START);
    EXPECT_EQ(m_frame->m_wave.Spec().deviceId, velto::WAVE_MAPPER);
    m_frame->SendCommand(ID_RECEIVE_START);

    Store(7, QStringLiteral("USB Audio"));  // out of range
    m_frame->SendCommand(ID_RECEIVE_START);
    EXPECT_EQ(m_frame->m_wave.Spec().deviceId, velto::WAVE_MAPPER);
    m_frame->SendCommand(ID_RECEIVE_START);

    // The simulator chosen for one run does not touch the profile.
    m_frame->SetCaptureOverride(0);
    m_frame->SendCommand(ID_RECEIVE_START);
    EXPECT_EQ(m_frame->m_wave.Spec().deviceId, 0);
    EXPECT_EQ(Stored("DeviceId").toInt(), 7);
}

TEST_F(FrameTest, SoundCardCommandIsRefusedWhileReceiving) {
    m_frame->SendCommand(ID_RECEIVE_START);
    // A dialog would block the test; the disabled command must not open one.
    m_frame->SendCommand(ID_SOUNDCARD);
    EXPECT_FALSE(m_frame->CommandAction(ID_SOUNDCARD)->isEnabled());
}
