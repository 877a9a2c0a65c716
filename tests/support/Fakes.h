#pragma once

// Recording fakes of the platform layer: they return at once and keep what they
// were asked to do, so that windows run headless and tests can look.

#include "platform/Browser.h"
#include "platform/LoginStore.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "platform/Sounds.h"

#include <QIcon>
#include <QString>
#include <QWidget>

#include <functional>
#include <utility>
#include <vector>

namespace kivora::test {

struct ShownBox {
    QWidget* owner = nullptr;
    QString text;
    QString caption;
    platform::BoxIcon icon = platform::BoxIcon::Error;
};

class FakeMessageBoxes final : public platform::IMessageBoxes {
public:
    void Show(QWidget* owner, const QString& text, const QString& caption, platform::BoxIcon icon) override
    {
        shown.push_back({owner, text, caption, icon});
        if (onShow)
            onShow(shown.back());
    }

    bool Ask(QWidget* owner, const QString& text, const QString& caption) override
    {
        asked.push_back({owner, text, caption, platform::BoxIcon::Information});
        return answer;
    }

    std::vector<ShownBox> shown;
    // Runs while the "box" is up, as code running during a modal box would.
    std::function<void(const ShownBox&)> onShow;
    // The questions asked, and what the operator answers: Yes unless told.
    std::vector<ShownBox> asked;
    bool answer = true;
};

class FakeBrowser final : public platform::IBrowser {
public:
    bool OpenUrl(const QString& target) override
    {
        openedUrls.push_back(target);
        return result;
    }
    bool OpenServicePage(const QString& hostAndPath) override
    {
        openedPages.push_back(hostAndPath);
        return result;
    }

    std::vector<QString> openedUrls;
    std::vector<QString> openedPages;
    bool result = true;
};

class FakeSounds final : public platform::ISounds {
public:
    void Play(int waveId, bool synchronous) override { played.push_back({waveId, synchronous}); }

    struct Played {
        int waveId;
        bool synchronous;
    };
    std::vector<Played> played;
};

class FakeTray final : public platform::ITray {
public:
    void Add(const QIcon&, const QString& tip) override
    {
        shown = true;
        this->tip = tip;
        ++adds;
    }
    void Remove() override
    {
        shown = false;
        ++removes;
    }
    bool IsShown() const override { return shown && available; }
    void Update(const QIcon& newIcon, const QString& newTip) override
    {
        icon = newIcon;
        tip = newTip;
    }
    void SetActions(platform::TrayActions newActions) override { actions = std::move(newActions); }
    void Notify(const QString& title, const QString& text) override { notifications.push_back({title, text}); }

    bool shown = false;
    // Whether the desktop has a tray to show the icon in.
    bool available = true;
    platform::TrayActions actions;
    QString tip;
    QIcon icon;
    std::vector<std::pair<QString, QString>> notifications; // title, text
    int adds = 0;
    int removes = 0;
};

class FakeLoginStore final : public platform::ILoginStore {
public:
    std::optional<std::string> Read(std::size_t maxBytes) override
    {
        if (!stored || stored->size() > maxBytes)
            return std::nullopt;
        return stored;
    }
    bool Write(std::string_view bytes) override
    {
        if (failWrites)
            return false;
        stored = std::string(bytes);
        return true;
    }
    bool Remove() override
    {
        stored.reset();
        return true;
    }

    std::optional<std::string> stored;
    bool failWrites = false;
};

} // namespace kivora::test

namespace kivora::test {

// The four platform fakes, bundled as windows take them.
struct FakePlatform {
    FakeMessageBoxes boxes;
    FakeBrowser browser;
    FakeSounds sounds;
    FakeLoginStore store;
    FakeTray tray;
    platform::Platform platform{boxes, browser, sounds, store, tray};
};

} // namespace kivora::test
