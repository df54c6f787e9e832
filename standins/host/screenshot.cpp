// Screenshots as PNG files: the screen area of a window copied with BitBlt
// and written as an RGB image whose zlib stream uses stored (uncompressed)
// blocks, so no compression library is needed.
#include "standins/host/host.h"
#include "standins/host/host_internal.h"

#include <cstdio>

namespace {

unsigned long Crc32(const unsigned char *data, size_t size, unsigned long crc = 0)
{
    static unsigned long table[256];
    if (!table[1]) {
        for (unsigned long n = 0; n < 256; ++n) {
            unsigned long c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320UL ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
    }
    crc ^= 0xFFFFFFFFUL;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFUL;
}

void PutBigEndian(std::string *out, unsigned long value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        *out += (char)((value >> shift) & 0xFF);
}

void PutChunk(std::string *png, const char *type, const std::string &data)
{
    PutBigEndian(png, data.size());
    std::string body = std::string(type, 4) + data;
    *png += body;
    PutBigEndian(png, Crc32((const unsigned char *)body.data(), body.size()));
}

// A zlib stream of stored blocks holding `raw`.
std::string StoredZlib(const std::string &raw)
{
    std::string out("\x78\x01", 2);
    size_t offset = 0;
    do {
        size_t length = raw.size() - offset < 65535 ? raw.size() - offset : 65535;
        bool final = offset + length == raw.size();
        out += (char)(final ? 1 : 0);
        out += (char)(length & 0xFF);
        out += (char)(length >> 8);
        out += (char)(~length & 0xFF);
        out += (char)((~length >> 8) & 0xFF);
        out.append(raw, offset, length);
        offset += length;
    } while (offset < raw.size());
    unsigned long a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBigEndian(&out, (b << 16) | a);
    return out;
}

// `pixels`: top-down rows of BGR triplets, each row padded to 4 bytes.
std::string EncodePng(int width, int height, const std::vector<unsigned char> &pixels)
{
    size_t stride = ((size_t)width * 3 + 3) & ~(size_t)3;
    std::string raw;
    raw.reserve((size_t)height * (width * 3 + 1));
    for (int y = 0; y < height; ++y) {
        raw += '\0'; // filter: none
        const unsigned char *row = &pixels[y * stride];
        for (int x = 0; x < width; ++x) {
            raw += (char)row[x * 3 + 2];
            raw += (char)row[x * 3 + 1];
            raw += (char)row[x * 3];
        }
    }
    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    PutBigEndian(&header, width);
    PutBigEndian(&header, height);
    header += std::string("\x08\x02\x00\x00\x00", 5);
    PutChunk(&png, "IHDR", header);
    PutChunk(&png, "IDAT", StoredZlib(raw));
    PutChunk(&png, "IEND", std::string());
    return png;
}

} // namespace

int HostScreenshot(HWND window, const char *pngPath)
{
    RECT area;
    if (window) {
        if (!GetWindowRect(window, &area))
            return 0;
    } else {
        SetRect(&area, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    }
    int width = area.right - area.left;
    int height = area.bottom - area.top;
    if (width <= 0 || height <= 0 || !pngPath)
        return 0;
    if (window)
        UpdateWindow(window);
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<unsigned char> pixels((((size_t)width * 3 + 3) & ~(size_t)3) * height);
    int rows = GetDIBits(memory, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    if (rows != height)
        return 0;
    std::string png = EncodePng(width, height, pixels);
    FILE *file = fopen(pngPath, "wb");
    bool ok = file && fwrite(png.data(), 1, png.size(), file) == png.size();
    if (file)
        ok = fclose(file) == 0 && ok;
    hostrig::Record("screenshot",
                    std::string(ok ? "" : "failed: ") + HostSjisToUtf8(pngPath) + " (" +
                        std::to_string(width) + "x" + std::to_string(height) + ")",
                    pngPath, "", 0, ok, window);
    return ok ? 1 : 0;
}
