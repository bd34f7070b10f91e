// Pieces shared by the font and screenshot tests: a render device whose
// screen objects record every draw, temporary files, packs and PNG images.
#pragma once

#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "engine/3d/Camera.h"
#include "engine/3d/gles/3DEngineGLES.h"
#include "engine/3d/gles/3DObjectGLESVariants.h"
#include "engine/world/ResPacker.h"
#include "engine/world/World.h"
#include "tests/engine/3d/gles/GlesFixture.h"

namespace texttest {

using Bytes = std::vector<uint8_t>;

// What one draw call saw.
struct Draw {
    bool one = false;      // RenderOne rather than Render
    uint32_t which = 0;    // RenderOne's position, Render's count
    uint32_t renderFlags = 0;
    uint32_t directColor = 0;
    uint32_t cullMode = 0;
    uint32_t primitives = 0;
    MATRIX3D matrix{};
    std::vector<VECTOR3D> positions;  // vertices of the drawn record
    std::vector<VECTOR2D> uvs;
    std::vector<uint32_t> colors;
};

class RecordingScreen : public C3DObjectGLESScreen {
public:
    explicit RecordingScreen(std::vector<Draw>* draws) : draws_(draws) {}
    eRESULT Render(uint32_t n) override {
        Record(false, n, 0);
        return C3DObjectGLESScreen::Render(n);
    }
    eRESULT RenderOne(uint32_t i) override {
        Record(true, i, i);
        return C3DObjectGLESScreen::RenderOne(i);
    }

private:
    void Record(bool one, uint32_t which, uint32_t sub) {
        Draw d;
        d.one = one;
        d.which = which;
        d.renderFlags = m_dwFlags2;
        d.directColor = m_dwDirectColor;
        d.matrix = *m_pCurrentMatrix;
        uint32_t start = 0, count = 0;
        GetSubObjParsingEx(sub, &start, &count, nullptr, nullptr, &d.primitives, nullptr, &d.cullMode, nullptr);
        for (uint32_t v = start; v < start + count; ++v) {
            d.positions.push_back(GetVertexPosition(v));
            d.uvs.push_back(GetVertexTexture1(v));
            d.colors.push_back(GetVertexColor(v));
        }
        draws_->push_back(std::move(d));
    }
    std::vector<Draw>* draws_;
};

// The real device; its screen objects record their draws.
class RecordingDevice : public C3DEngineGLES {
public:
    std::vector<Draw> draws;

protected:
    C3DObject* New3DObject(uint32_t flags) override {
        if ((flags & OBJ_CLASS_MASK) == OBJ_SCREEN) return new RecordingScreen(&draws);
        return C3DEngineGLES::New3DObject(flags);
    }
};

// A real context, the shared record, the device and a world that hands the
// device out, as the engine objects find it.
class DeviceTest : public gltest::GlesTest {
protected:
    void SetUp() override {
        gltest::GlesTest::SetUp();
        if (HasFatalFailure()) return;
        shared->m_pWorld = &world;
        world.m_p3DEngine = &device;
        shared->m_bAlpha = shared->m_bAlphaCfg = 1;
        shared->m_bDepthBuffer = 1;
        ASSERT_EQ(device.Load(shared.get(), nullptr), eOK);
        ASSERT_EQ(device.m_pCamera->InitProjMatrix(), eOK);
        glDisable(GL_DEPTH_TEST);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    void TearDown() override {
        device.Unload();
        world.m_p3DEngine = nullptr;
        gltest::GlesTest::TearDown();
    }

    size_t Count(CFIFOList* list) const {
        size_t n = 0;
        for (FIFO_NODE* node = list->m_pHead; node; node = node->m_pNext) ++n;
        return n;
    }

    // The whole framebuffer, RGBA rows from the bottom.
    static Bytes ReadFramebuffer() {
        Bytes rgba(static_cast<size_t>(gltest::kWidth) * gltest::kHeight * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, gltest::kWidth, gltest::kHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return rgba;
    }

    gltest::SharedInfosHolder shared;
    CWorld world;
    RecordingDevice device;
};

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "text-test-XXXXXX").string();
        if (mkdtemp(&tmpl[0])) path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string Path(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes a pack of (name, data) entries in order; true on success.
inline bool WritePack(const std::string& path, const std::vector<std::pair<std::string, Bytes>>& entries) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = true;
    for (const auto& [name, data] : entries) {
        ok = ok && eSUCCEEDED(eResPackerWriteEntryHeader(f, name.c_str(), static_cast<uint32_t>(data.size())));
        ok = ok && (data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size());
    }
    return std::fclose(f) == 0 && ok;
}

// An open pack, closed at the end of the scope.
class OpenPack {
public:
    explicit OpenPack(const std::string& path) { packer_.m_pFile = std::fopen(path.c_str(), "rb"); }
    ~OpenPack() {
        if (packer_.m_pFile) std::fclose(packer_.m_pFile);
    }
    OpenPack(const OpenPack&) = delete;
    OpenPack& operator=(const OpenPack&) = delete;

    // The handle positioned at the entry, or null when it is not there.
    _RES_PACKER* Find(const char* name) { return eSUCCEEDED(eGetResPacker(name, &packer_)) ? &packer_ : nullptr; }
    _RES_PACKER* get() { return &packer_; }

private:
    _RES_PACKER packer_{};
};

// An 8-bit RGB PNG of `width` x rows.size(), rows from the top.
inline Bytes RgbPng(uint32_t width, const std::vector<Bytes>& rows) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, size_t n) {
            auto* o = static_cast<Bytes*>(png_get_io_ptr(p));
            o->insert(o->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, width, static_cast<uint32_t>(rows.size()), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (const Bytes& row : rows) png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

}  // namespace texttest
