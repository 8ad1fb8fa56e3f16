// Splash screens (Files/Debug/Splash.h).
#include "Files/Debug/Splash.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "Files/Base/DialogHost.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Device.h"
#include "Files/Graphics_API/Graphics_ImageDecode.h"
#include "Files/Support/LoadSave.h"
#include "Platform/MemoryManager.h"

namespace {

SplashSettings g_settings;

// One splash: an image or a text over the whole dialog. Command 1 ends it.
class SplashDialog : public DialogBase {
public:
    SplashDialog(const char* name, std::string text, int32_t delay) : m_name(name), m_text(std::move(text)), m_delay(delay)
    {
        m_control = {0, DLGC_LOG, 0, 0, 320, 240, "", false};
        m_template = {320, 240, &m_control, 1};
    }
    // The picture's size in dialog units (the host draws it at its pixel size where it fits).
    void SetImage(std::vector<uint32_t> pixels, int32_t w, int32_t h)
    {
        m_pixels = std::move(pixels);
        m_w = w;
        m_h = h;
        const int16_t dw = int16_t(std::ceil(w / 1.5)), dh = int16_t(std::ceil(h / 1.625));
        m_control = {0, DLGC_IMAGE, 0, 0, dw, dh, "", false};
        m_template = {dw, dh, &m_control, 1};
    }

    const char* Name() const override { return m_name; }
    const char* Caption() const override { return g_settings.hasCaption ? g_settings.caption.c_str() : ""; }
    const DialogTemplate& Template() const override { return m_template; }
    void Init() override { Restart(); }
    int32_t Command(int32_t id) override
    {
        if (id != 1) return 0;
        End(1);
        return 1;
    }
    int32_t ButtonId(const char*) const override { return -1; }
    const char* DisplayText() const override { return m_text.c_str(); }
    int32_t DefaultResult() const override { return 1; }
    const char* ControlText(int32_t) const override { return m_text.c_str(); }
    int32_t CancelId() const override { return 1; }
    bool ControlImage(int32_t, const uint32_t** pixels, int32_t* w, int32_t* h) const override
    {
        if (m_pixels.empty()) return false;
        *pixels = m_pixels.data();
        *w = m_w;
        *h = m_h;
        return true;
    }
    int32_t TimeoutMilliseconds() const override { return m_delay > 0 ? m_delay : -1; }
    bool EndsOnKey() const override { return g_settings.interrupt && g_settings.stopKey; }
    bool EndsOnClick() const override { return g_settings.interrupt && g_settings.stopMouse; }

private:
    const char* m_name;
    std::string m_text;
    int32_t m_delay;
    DialogControl m_control;
    DialogTemplate m_template;
    std::vector<uint32_t> m_pixels;
    int32_t m_w = 0, m_h = 0;
};

int32_t Delay(double delay)
{
    if (!(delay > 0.0)) return -1;
    return delay > 3600000.0 ? 3600000 : int32_t(delay);
}

void Show(SplashDialog& d)
{
    GR_D3D_LeaveFullscreen();
    DialogHost_Get()->RunModal(d);
}

} // namespace

SplashSettings& Splash_Settings() { return g_settings; }

bool Splash_ShowImage(const char* file, double delay)
{
    int32_t size = 0;
    uint8_t* data = file && *file ? LoadSave_ReadGameFile(file, &size) : nullptr;
    if (!data) return false;
    GR_Image image{};
    const bool ok = GR_Image_Decode(data, uint32_t(size), true, &image) && image.format == GFX_FMT_A8R8G8B8 &&
                    image.pitch == uint32_t(image.width) * 4u;
    MEM_FREE(data);
    if (!ok) {
        GR_Image_Free(&image);
        return false;
    }
    std::vector<uint32_t> pixels(size_t(image.width) * size_t(image.height));
    std::memcpy(pixels.data(), image.data, pixels.size() * 4);
    SplashDialog d("splash", std::string("image ") + file, Delay(delay));
    d.SetImage(std::move(pixels), image.width, image.height);
    GR_Image_Free(&image);
    Show(d);
    return true;
}

bool Splash_ShowVideo(const char* file, double loop)
{
    (void)loop;
    return file && *file && LoadSave_GameFileExists(file);
}

bool Splash_ShowText(const char* file, double delay)
{
    int32_t size = 0;
    uint8_t* data = file && *file ? LoadSave_ReadGameFile(file, &size) : nullptr;
    if (!data) return false;
    std::string text(reinterpret_cast<const char*>(data), size_t(size));
    MEM_FREE(data);
    SplashDialog d("splash", std::move(text), Delay(delay));
    Show(d);
    return true;
}
