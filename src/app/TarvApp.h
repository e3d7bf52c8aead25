#pragma once
// The application's model: the settings and the stores, built once in a fixed order, and the
// one DeviceManager that every window is handed.

#include <QString>

#include <memory>

class CustomScreenStore;
class DeviceManager;
class ArtworkService;
class SessionAppSource;
class MediaPlaybackService;
class ProfileStore;
class ScreensaverPhotoService;
class Settings;
class StockStore;

class TarvApp {
public:
    TarvApp();
    ~TarvApp();

    // True when TARV_TEST_RUN is present in the environment (any value); read once.
    static bool isTesting();
    // ~/.local/share/Tarv: the photo store works in it, the Screens folder lies in it.
    static QString applicationFolder();

    // Builds the model on the first call; every call returns the same hub.
    DeviceManager& deviceManager();
    // The settings file the model reads; built with the model.
    Settings& settings();

private:
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<ProfileStore> m_profiles;
    std::unique_ptr<ScreensaverPhotoService> m_photoService;
    std::unique_ptr<StockStore> m_stocks;
    std::unique_ptr<CustomScreenStore> m_customScreens;
    std::unique_ptr<SessionAppSource> m_appSource;
    std::unique_ptr<MediaPlaybackService> m_mediaService;
    std::unique_ptr<ArtworkService> m_artworkService;
    std::unique_ptr<DeviceManager> m_deviceManager;
};
