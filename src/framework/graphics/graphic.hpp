// TGraphic: what a picture can hold (a bitmap or an icon). It has a size, can be drawn on a
// canvas, saved and loaded as its file form, and stored in a form description as its
// "Data" record; it tells its owner of every change through OnChange.
#pragma once

#include "framework/classes.hpp"
#include "framework/events.hpp"
#include "framework/graphics/geometry.hpp"
#include "framework/graphics/graphics_error.hpp"

#include <string>

namespace fw {

class TCanvas;

// An operation a graphic cannot do ("Cannot change the size of an icon").
class EInvalidGraphicOperation : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

class TGraphic : public TPersistent {
    FW_CLASS(TGraphic, TPersistent)
public:
    virtual bool Empty() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void SetWidth(int width) = 0;
    virtual void SetHeight(int height) = 0;

    bool Transparent() const { return transparent_; }
    virtual void SetTransparent(bool value);
    bool Modified() const { return modified_; }
    void SetModified(bool value) { modified_ = value; }

    // The file form: a stream holds exactly one graphic from its position to its end.
    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void SaveToStream(TStream& stream) const = 0;
    void LoadFromFile(const std::string& path);
    void SaveToFile(const std::string& path) const;

    // The same class holding the same picture.
    virtual bool Equals(const TGraphic& other) const;

    // "Data": the graphic's record, written when it differs from the default object's.
    void DefineProperties(TFiler& filer) override;
    // The record inside a stored form; by default the file form.
    virtual void ReadData(TStream& stream) { LoadFromStream(stream); }
    virtual void WriteData(TStream& stream) const { SaveToStream(stream); }

    TNotifyEvent OnChange;

protected:
    friend class TCanvas;
    // Draws into `rect` of the canvas, scaled to it.
    virtual void Draw(TCanvas& canvas, const TRect& rect) const = 0;
    virtual void Changed();

private:
    bool transparent_ = false;
    bool modified_ = false;
};

} // namespace fw
