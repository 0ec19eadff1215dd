#pragma once

#include <QString>
#include <QWidget>

namespace controls {

// The skin engine: it loads a skin file and draws a window in it.
class SkinEngine {
public:
    virtual ~SkinEngine() = default;
    virtual void LoadSkin(const QString& path, const QString& section) = 0;
    virtual int Options() const = 0;
    virtual void SetOptions(int options) = 0;
    virtual void SetFirstSwitch(bool on) = 0;
    virtual void SetSecondSwitch(bool on) = 0;
    virtual void ApplyWindow(QWidget& window) = 0;
};

// Skins are Qt style sheets; applying one sets it on the window and so on all its controls.
class StyleSheetSkin : public SkinEngine {
public:
    void LoadSkin(const QString& path, const QString& section) override;
    int Options() const override { return m_options; }
    void SetOptions(int options) override { m_options = options; }
    // Style sheets have no such switches.
    void SetFirstSwitch(bool /*on*/) override {}
    void SetSecondSwitch(bool /*on*/) override {}
    void ApplyWindow(QWidget& window) override;

private:
    QString m_styleSheet;
    int m_options = 0;
};

}  // namespace controls
