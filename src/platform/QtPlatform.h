#pragma once

#include "Browser.h"
#include "MessageBoxes.h"
#include "Sounds.h"
#include "Tray.h"

#include <memory>

class QMenu;

namespace kivora::platform {

// The desktop implementations of the platform interfaces.
class CQtMessageBoxes final : public IMessageBoxes {
public:
    void Show(QWidget* owner, const QString& text, const QString& caption, BoxIcon icon) override;
    bool Ask(QWidget* owner, const QString& text, const QString& caption) override;
};

class CQtBrowser final : public IBrowser {
public:
    bool OpenUrl(const QString& target) override;
    bool OpenServicePage(const QString& url) override;
};

class CQtTray final : public ITray {
public:
    CQtTray();
    ~CQtTray() override;
    void Add(const QIcon& icon, const QString& tip) override;
    void Update(const QIcon& icon, const QString& tip) override;
    void Remove() override;
    bool IsShown() const override;
    void SetActions(TrayActions actions) override;
    void Notify(const QString& title, const QString& text) override;
    // The icon's menu: "Show &Dialog" (bold, the default), "&LogOut", "E&xit".
    QMenu* Menu() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

class CQtSounds final : public ISounds {
public:
    CQtSounds();
    ~CQtSounds() override;
    void Play(int waveId, bool synchronous) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

} // namespace kivora::platform
