// The shape editor: draws a shape on a grid and lets the user select, drag, add and
// remove its nodes with the pointer; every edit is written to the Shape pin, from where
// the host carries it to the DSP shape modules.
//
// Editor units: nodes are kept as (X, Y) in 0 .. 100 with Y counted from the top,
// X = (x + 5) * 10 and Y = (5 - y) * 10 for shape units x, y. The plot is the module
// rectangle shrunk by the border: a node's centre is drawn at
// ((X - 50) * 0.02 * h * W + W / 2, (Y - 50) * 0.02 * h * H + H / 2) with h the plot
// half-extent (0.25 .. 0.5) and W, H the module's size in pixels.
//
// Drawing keeps two cached layers the size of the module, the background (gradient,
// grid, diagonal, baseline) and the curve (fill, curve, node markers); each is rebuilt
// only after something it shows changed.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "Drawing.h"
#include "ShapeInterpolation.h"
#include "ShapeString.h"
#include "mp_sdk_gfx.h"
#include "platform/clock.h"

using namespace GmpiDrawing;
using GmpiDrawing_API::MP1_POINT;
using GmpiDrawing_API::MP1_RECT;

#if defined(MP_SHAPE_CLASSIC) && MP_SHAPE_CLASSIC
inline constexpr bool classicEditor = true;
#else
inline constexpr bool classicEditor = false;
#endif

namespace {

constexpr const wchar_t* defaultShape = L"(-5,-5)(-4,-4)(-3,-3)(-2,-2)(-1,-1)(0,0)(1,1)(2,2)(3,3)(4,4)(5,5)";
constexpr const wchar_t* interpolationList = L"Linear,Spline,Lagrange,None";
// Two clicks on the same target closer than this (monotonic clock) are a double click.
constexpr std::int64_t doubleClickNanoseconds = 301'000'000;
constexpr std::int32_t pointerFineAdjust = 0x20000;

// Colour roles, in pin order (pins 3 .. 12), with the colours used while a pin is empty.
enum ColourRole { backgroundTop, backgroundBottom, baselineLine, grid, diagonal, curve, fillTop, fillBottom, nodeMarker, activeMarker, colourCount };
constexpr std::uint32_t defaultColours[colourCount] = {0xFF303030, 0xFF000000, 0xFF505050, 0xFF383838, 0x00000000,
                                                       0xFF002830, 0xC0002028, 0x20002028, 0xFF002830, 0xFFFFFFFF};

float toShapeX(float X) { return X * 0.1f - 5.0f; }
float toShapeY(float Y) { return Y * -0.1f + 5.0f; }

}  // namespace

class ShapeEditor : public gmpi_gui::MpGuiGfxBase {
    // Pins, in index order (the classic bundle has no ToolTip and no Clip pin).
    StringGuiPin pinShape;
    MpGuiPin<int> pinActiveNode;
    MpGuiPin<int> pinNodeSize;
    StringGuiPin pinColours[colourCount];
    MpGuiPin<float> pinBaseline;
    MpGuiPin<bool> pinEnableEdit;
    MpGuiPin<bool> pinLockX;
    MpGuiPin<bool> pinLockAddRem;
    MpGuiPin<bool> pinCircles;
    MpGuiPin<bool> pinFillNodes;
    MpGuiPin<int> pinShapeThickness;
    MpGuiPin<int> pinNodeThickness;
    MpGuiPin<int> pinInterpolation;
    StringGuiPin pinItpList;
    MpGuiPin<float> pinEditX_L;
    MpGuiPin<float> pinEditY_L;
    MpGuiPin<float> pinMinY;
    MpGuiPin<float> pinMaxY;
    StringGuiPin pinResetVal;
    MpGuiPin<bool> pinMouseDown;
    StringGuiPin pinToolTip;
    MpGuiPin<float> pinEditX_R;
    MpGuiPin<float> pinEditY_R;
    MpGuiPin<bool> pinFlipHoriz;
    MpGuiPin<bool> pinFlipVert;
    MpGuiPin<bool> pinReset;
    MpGuiPin<float> pinBorder;
    MpGuiPin<bool> pinClip;

    // Nodes in editor units, sorted by X; the first at X = 0, the last at X = 100.
    Node nodes[maxShapeNodes] = {{0.0f, 50.0f}, {100.0f, 50.0f}};
    int count = 2;
    int activeNode = -1;  // -1: none selected

    int mode = interpolationLinear;
    float nodeSize = 10.0f;        // marker box side, pixels
    float shapeThickness = 2.0f;   // curve stroke, pixels
    float nodeThickness = 1.0f;    // marker outline, pixels
    float h = 0.5f;                // plot half-extent as a fraction of the module size
    float baseline = 0.0f;         // shape units
    float yTop = 0.0f;             // editor units: the band dragging and adding may use
    float yBottom = 100.0f;
    bool clip = false;
    Color colours[colourCount];
    std::wstring resetShape = defaultShape;

    // The last single click: when, and on which node (-1: empty space). A second click
    // within the double-click time counts only on the same target and when no drag came
    // between, so a quick press on another node after a drag never deletes it.
    static constexpr std::int64_t longAgo = std::numeric_limits<std::int64_t>::min() / 2;
    std::int64_t lastClickTime = longAgo;
    int lastClickNode = -1;
    Point lastPointer;
    bool updating = false;  // set while the editor writes its own Edit pins

    Bitmap backgroundLayer;
    Bitmap curveLayer;
    std::vector<float> columnY;  // the curve per pixel column, editor units

    ShapeWriter writer;

public:
    ShapeEditor()
    {
        for (int role = 0; role < colourCount; ++role)
            colours[role] = Color::FromArgb(defaultColours[role]);

        initializePin(pinShape, &ShapeEditor::onSetShape);
        initializePin(pinActiveNode, &ShapeEditor::onSetActiveNode);
        initializePin(pinNodeSize, &ShapeEditor::onSetNodeSize);
        for (auto& pin : pinColours)
            initializePin(pin, &ShapeEditor::onSetColors);
        initializePin(pinBaseline, &ShapeEditor::onSetBaseline);
        initializePin(pinEnableEdit);
        initializePin(pinLockX, &ShapeEditor::onSetLockX);
        initializePin(pinLockAddRem, &ShapeEditor::onSetLockAddRem);
        initializePin(pinCircles, &ShapeEditor::onSetCircles);
        initializePin(pinFillNodes, &ShapeEditor::onSetFillNodes);
        initializePin(pinShapeThickness, &ShapeEditor::onSetShapeThickness);
        initializePin(pinNodeThickness, &ShapeEditor::onSetNodeThickness);
        initializePin(pinInterpolation, &ShapeEditor::onSetInterpolation);
        initializePin(pinItpList, &ShapeEditor::onSetITP_IL);
        initializePin(pinEditX_L, &ShapeEditor::onSetEditX_L);
        initializePin(pinEditY_L, &ShapeEditor::onSetEditY_L);
        initializePin(pinMinY, &ShapeEditor::onSetMinY);
        initializePin(pinMaxY, &ShapeEditor::onSetMaxY);
        initializePin(pinResetVal, &ShapeEditor::onSetResetVal);
        initializePin(pinMouseDown);
        if (!classicEditor)
            initializePin(pinToolTip);
        initializePin(pinEditX_R, &ShapeEditor::onSetEditX_R);
        initializePin(pinEditY_R, &ShapeEditor::onSetEditY_R);
        initializePin(pinFlipHoriz, &ShapeEditor::onSetFlipHoriz);
        initializePin(pinFlipVert, &ShapeEditor::onSetFlipVert);
        initializePin(pinReset, &ShapeEditor::onSetReset);
        initializePin(pinBorder, &ShapeEditor::onSetBorder);
        if (!classicEditor)
            initializePin(pinClip, &ShapeEditor::onSetClip);
    }

    // ---------------------------------------------------------------------------------
    // Pin handlers

    void onSetShape()
    {
        const std::wstring& text = pinShape.getValue();
        if (text.empty())
            return;
        Node parsed[maxShapeNodes];
        const int parsedCount = parseNodes(text, 0.0f, 100.0f, 100.0f, 0.0f, parsed);
        if (parsedCount == 0)
            return;  // keep and show the previous nodes
        std::copy(parsed, parsed + parsedCount, nodes);
        count = parsedCount;
        if (activeNode >= count)
            activeNode = -1;
        else if (activeNode >= 0)
            updateEditPins(activeNode);
        redrawCurve();
    }

    void onSetActiveNode()
    {
        const int value = pinActiveNode;
        if (value == activeNode || value >= count)
            return;
        if (value < 0) {
            activeNode = -1;
        } else {
            activeNode = value;
            updateEditPins(activeNode);
        }
        redrawCurve();
    }

    void onSetNodeSize()
    {
        const int size = pinNodeSize;
        nodeSize = size < 5 ? 4.0f : static_cast<float>(std::min(size, 20));
        redrawCurve();
    }

    void onSetColors()
    {
        for (int role = 0; role < colourCount; ++role) {
            const std::wstring& text = pinColours[role].getValue();
            colours[role] = text.empty() ? Color::FromArgb(defaultColours[role]) : hexStringToColor(text);
        }
        redrawAll();
    }

    void onSetBaseline()
    {
        baseline = std::clamp(static_cast<float>(pinBaseline), -5.0f, 5.0f);
        if (std::isnan(baseline))
            baseline = 0.0f;
        redrawAll();
    }

    void onSetLockX() {}
    void onSetLockAddRem() {}
    void onSetCircles() { redrawCurve(); }
    void onSetFillNodes() { redrawCurve(); }

    void onSetShapeThickness()
    {
        shapeThickness = static_cast<float>(std::clamp(static_cast<int>(pinShapeThickness), 1, 4));
        redrawCurve();
    }

    void onSetNodeThickness()
    {
        nodeThickness = static_cast<float>(std::clamp(static_cast<int>(pinNodeThickness), 1, 4));
        redrawCurve();
    }

    void onSetInterpolation()
    {
        mode = std::clamp(static_cast<int>(pinInterpolation), 0, 3);
        redrawCurve();
    }

    void onSetITP_IL() { pinItpList = std::wstring(interpolationList); }

    void onSetEditX_L()
    {
        if (activeNode < 0 || updating)
            return;
        setActiveX(pinEditX_L, pinEditX_R);
    }

    void onSetEditX_R()
    {
        if (activeNode < 0)
            return;
        setActiveX(pinEditX_R, pinEditX_L);
    }

    void onSetEditY_L()
    {
        if (activeNode < 0 || updating)
            return;
        setActiveY(pinEditY_L, pinEditY_R);
    }

    void onSetEditY_R()
    {
        if (activeNode < 0)
            return;
        setActiveY(pinEditY_R, pinEditY_L);
    }

    void onSetMinY()
    {
        yBottom = std::max(std::clamp(pinMinY * -10.0f + 50.0f, 0.0f, 100.0f), yTop);
        if (std::isnan(yBottom))
            yBottom = 100.0f;
    }

    void onSetMaxY()
    {
        yTop = std::min(std::clamp(pinMaxY * -10.0f + 50.0f, 0.0f, 100.0f), yBottom);
        if (std::isnan(yTop))
            yTop = 0.0f;
    }

    void onSetResetVal()
    {
        if (!pinResetVal.getValue().empty())
            resetShape = pinResetVal.getValue();
    }

    void onSetFlipHoriz()
    {
        if (!pinFlipHoriz)
            return;
        for (int i = 0; i < (count + 1) / 2; ++i) {
            const int mirror = count - 1 - i;
            const Node left = nodes[i];
            const Node right = nodes[mirror];
            nodes[i] = {100.0f - right.x, right.y};
            nodes[mirror] = {100.0f - left.x, left.y};
        }
        if (activeNode >= 0)
            activeNode = count - 1 - activeNode;
        afterFlip();
    }

    void onSetFlipVert()
    {
        if (!pinFlipVert)
            return;
        for (int i = 0; i < count; ++i)
            nodes[i].y = 100.0f - nodes[i].y;
        afterFlip();
    }

    void onSetReset()
    {
        if (!pinReset)
            return;
        pinShape = resetShape;
        onSetShape();  // the host does not hand the editor's own write back to it
    }

    void onSetBorder()
    {
        float border = std::clamp(pinBorder * 0.01f, 0.0f, 0.25f);
        if (std::isnan(border))
            border = 0.0f;
        h = 0.5f - border;
        redrawAll();
    }

    void onSetClip()
    {
        clip = pinClip;
        redrawCurve();
    }

    // ---------------------------------------------------------------------------------
    // Graphics

    std::int32_t arrange(MP1_RECT finalRect) override
    {
        const Rect old = getRect();
        if (finalRect.right - finalRect.left != old.getWidth() || finalRect.bottom - finalRect.top != old.getHeight()) {
            backgroundLayer = Bitmap();
            curveLayer = Bitmap();
        }
        return MpGuiGfxBase::arrange(finalRect);
    }

    std::int32_t OnRender(GmpiDrawing_API::IMpDeviceContext* drawingContext) override
    {
        Graphics g(drawingContext);
        const Size size = moduleSize();
        if (!g || size.width < 1.0f || size.height < 1.0f)
            return gmpi::MP_OK;
        if (!backgroundLayer)
            backgroundLayer = drawLayer(g, size, &ShapeEditor::drawBackground);
        if (!curveLayer)
            curveLayer = drawLayer(g, size, &ShapeEditor::drawCurve);
        g.DrawBitmap(backgroundLayer, Point(0.0f, 0.0f));
        g.DrawBitmap(curveLayer, Point(0.0f, 0.0f));
        return gmpi::MP_OK;
    }

    std::int32_t onPointerDown(std::int32_t /*flags*/, MP1_POINT point) override
    {
        pinMouseDown = true;
        setCapture();
        if (!pinEnableEdit)
            return gmpi::MP_FAIL;

        const std::int64_t now = platform::monotonicNanoseconds();
        const int hit = nodeAt(point);
        const bool doubleClick = now - lastClickTime < doubleClickNanoseconds && hit == lastClickNode;
        if (hit >= 0) {
            if (doubleClick) {
                if (hit == 0 || hit == count - 1 || pinLockAddRem)
                    nodes[hit].y = (5.0f - baseline) * 10.0f;
                else
                    removeNode(hit);
                lastClickTime = longAgo;  // a third quick click starts over
                updateShapeString();
                return gmpi::MP_OK;
            }
            lastClickTime = now;
            lastClickNode = hit;
            activeNode = hit;
            pinActiveNode = hit;
            lastPointer = point;
            updateEditPins(hit);
            redrawCurve();
            return gmpi::MP_OK;
        }

        if (activeNode >= 0) {
            activeNode = -1;
            pinActiveNode = -1;
            redrawCurve();
        }
        if (pinLockAddRem)
            return gmpi::MP_OK;
        if (!doubleClick) {
            lastClickTime = now;
            lastClickNode = -1;
            return gmpi::MP_OK;
        }
        addNode(point);
        return gmpi::MP_OK;
    }

    std::int32_t onPointerMove(std::int32_t flags, MP1_POINT point) override
    {
        if (!getCapture() || activeNode < 0 || !pinEnableEdit)
            return gmpi::MP_OK;
        const Size size = moduleSize();
        if (size.width <= 0.0f || size.height <= 0.0f)
            return gmpi::MP_OK;
        const float speed = (flags & pointerFineAdjust) ? 10.0f : 100.0f;  // editor units per module size
        Node& node = nodes[activeNode];
        if (!pinLockX) {
            if (activeNode == 0) {
                node.x = 0.0f;
            } else if (activeNode == count - 1) {
                node.x = 100.0f;
            } else {
                const float moved = node.x + (point.x - lastPointer.x) * speed / size.width;
                node.x = std::clamp(moved, nodes[activeNode - 1].x + 0.1f, nodes[activeNode + 1].x - 0.1f);
            }
        }
        node.y = std::clamp(node.y + (point.y - lastPointer.y) * speed / size.height, yTop, yBottom);
        if (point.x != lastPointer.x || point.y != lastPointer.y)
            lastClickTime = longAgo;  // a drag, not the first click of a double click
        lastPointer = point;
        updateShapeString();
        updateEditPins(activeNode);
        return gmpi::MP_OK;
    }

    std::int32_t onPointerUp(std::int32_t /*flags*/, MP1_POINT /*point*/) override
    {
        if (getCapture())
            releaseCapture();
        pinMouseDown = false;
        return gmpi::MP_OK;
    }

    std::int32_t hitTest(MP1_POINT point) override
    {
        if (!classicEditor && !pinEnableEdit)
            return gmpi::MP_FAIL;
        if (!pinLockAddRem)
            return gmpi::MP_OK;
        return nodeAt(point) >= 0 ? gmpi::MP_OK : gmpi::MP_FAIL;
    }

    std::int32_t getToolTip(MP1_POINT /*point*/, gmpi::IString* returnString) override
    {
        if (classicEditor || !returnString)
            return gmpi::MP_FAIL;
        const std::string text = pinToolTip;
        returnString->setData(text.data(), static_cast<std::int32_t>(text.size()));
        return gmpi::MP_OK;
    }
    using MpGuiGfxBase::getToolTip;

private:
    // ---------------------------------------------------------------------------------
    // Editing

    // Writes the nodes to Shape in shape units, and shows them at once (the host does not
    // hand the editor's own writes back to it).
    void updateShapeString()
    {
        writer.clear();
        for (int i = 0; i < count; ++i)
            writer.appendNode(toShapeX(nodes[i].x), toShapeY(nodes[i].y));
        pinShape = writer.str();
        redrawCurve();
    }

    void updateEditPins(int index)
    {
        updating = true;
        const float x = toShapeX(nodes[index].x);
        const float y = toShapeY(nodes[index].y);
        pinEditX_R = x;
        pinEditX_L = x;
        pinEditY_R = y;
        pinEditY_L = y;
        updating = false;
    }

    // Moves the active node's x to `source`'s value, limited between its neighbours; the
    // end nodes stay at -5 and +5. A limited value is written back to `source`.
    void setActiveX(MpGuiPin<float>& source, MpGuiPin<float>& mirror)
    {
        float value = source;
        if (activeNode == 0) {
            value = -5.0f;
        } else if (activeNode == count - 1) {
            value = 5.0f;
        } else {
            const float low = toShapeX(nodes[activeNode - 1].x) + 0.01f;
            const float high = toShapeX(nodes[activeNode + 1].x) - 0.01f;
            value = std::isnan(value) ? low : std::clamp(value, low, high);
        }
        source = value;
        mirror = value;
        nodes[activeNode].x = (value + 5.0f) * 10.0f;
        updateShapeString();
    }

    // Moves the active node's y to `source`'s value limited to -5 .. +5.
    void setActiveY(MpGuiPin<float>& source, MpGuiPin<float>& mirror)
    {
        float value = source;
        value = std::isnan(value) ? 0.0f : std::clamp(value, -5.0f, 5.0f);
        source = value;
        mirror = value;
        nodes[activeNode].y = (5.0f - value) * 10.0f;
        updateShapeString();
    }

    void afterFlip()
    {
        updateShapeString();
        if (activeNode >= 0)
            updateEditPins(activeNode);
        redrawCurve();
    }

    // Inserts a node at the pointer (a double click on empty space), its Y limited to the
    // band, after the segment that contains its X; nothing when no segment does or the
    // shape is full.
    void addNode(Point point)
    {
        const Size size = moduleSize();
        if (size.width <= 0.0f || size.height <= 0.0f || h <= 0.0f)
            return;
        const float X = (point.x - size.width * 0.5f) / (0.02f * h * size.width) + 50.0f;
        const float Y = std::clamp((point.y - size.height * 0.5f) / (0.02f * h * size.height) + 50.0f, yTop, yBottom);
        const int segment = findNodePrecedingX(X);
        if (segment < 0 || count >= maxShapeNodes)
            return;
        std::copy_backward(nodes + segment + 1, nodes + count, nodes + count + 1);
        nodes[segment + 1] = {X, Y};
        ++count;
        updateShapeString();
        activeNode = segment + 1;
        pinActiveNode = activeNode;
        updateEditPins(activeNode);
        lastPointer = point;
    }

    void removeNode(int index)
    {
        std::copy(nodes + index + 1, nodes + count, nodes + index);
        --count;
        activeNode = -1;
        pinActiveNode = -1;
    }

    // The segment i with X(i) <= X < X(i + 1), or -1.
    int findNodePrecedingX(float X) const
    {
        for (int i = 0; i + 1 < count; ++i)
            if (nodes[i].x <= X && X < nodes[i + 1].x)
                return i;
        return -1;
    }

    // The topmost node whose marker box holds `point`, or -1.
    int nodeAt(Point point) const
    {
        for (int i = count - 1; i >= 0; --i) {
            const Point centre = toPixels(nodes[i]);
            const float left = centre.x - nodeSize * 0.5f;
            const float top = centre.y - nodeSize * 0.5f;
            if (point.x >= left - 0.5f && point.x < left + nodeSize + 1.0f && point.y >= top - 0.5f &&
                point.y < top + nodeSize + 1.0f)
                return i;
        }
        return -1;
    }

    // ---------------------------------------------------------------------------------
    // Drawing

    Size moduleSize() const { return Size(getRect().getWidth(), getRect().getHeight()); }

    Point toPixels(Node node) const
    {
        const Size size = moduleSize();
        return Point((node.x - 50.0f) * 0.02f * h * size.width + size.width * 0.5f,
                     (node.y - 50.0f) * 0.02f * h * size.height + size.height * 0.5f);
    }

    float baselinePixelY() const { return (1.0f - 0.4f * baseline * h) * moduleSize().height * 0.5f; }

    void redrawCurve()
    {
        curveLayer = Bitmap();
        invalidateRect();
    }

    void redrawAll()
    {
        backgroundLayer = Bitmap();
        redrawCurve();
    }

    Bitmap drawLayer(Graphics& g, Size size, void (ShapeEditor::*draw)(Graphics_base&, Size))
    {
        BitmapRenderTarget layer = g.CreateCompatibleRenderTarget(size);
        if (!layer)
            return Bitmap();
        layer.BeginDraw();
        layer.Clear(Color(0.0f, 0.0f, 0.0f, 0.0f));
        (this->*draw)(layer, size);
        layer.EndDraw();
        return layer.GetBitmap();
    }

    void drawBackground(Graphics_base& g, Size size)
    {
        const float W = size.width, H = size.height;
        if (colours[backgroundTop].a > 0.0f || colours[backgroundBottom].a > 0.0f) {
            auto gradient = g.CreateLinearGradientBrush(colours[backgroundTop], colours[backgroundBottom],
                                                        Point(0.0f, 0.0f), Point(0.0f, H - 1.0f));
            g.FillRectangle(Rect(0.0f, 0.0f, W, H), gradient);
        }
        if (colours[grid].a > 0.0f) {
            auto brush = g.CreateSolidColorBrush(colours[grid]);
            for (int k = -10; k <= 10; k += 2) {
                const float x = k * 0.1f * h * W + W * 0.5f + 0.5f;
                const float y = k * 0.1f * h * H + H * 0.5f + 0.5f;
                g.DrawLine(Point(x, 0.0f), Point(x, H), brush);
                g.DrawLine(Point(0.0f, y), Point(W, y), brush);
            }
        }
        if (colours[diagonal].a > 0.0f)
            g.DrawLine(Point(0.5f, H), Point(W + 0.5f, 0.0f), g.CreateSolidColorBrush(colours[diagonal]));
        if (colours[baselineLine].a > 0.0f) {
            auto brush = g.CreateSolidColorBrush(colours[baselineLine]);
            const float y = baselinePixelY();
            g.DrawLine(Point(0.0f, y), Point(W - 1.0f, y), brush);
            g.DrawLine(Point(W * 0.5f + 0.5f, 0.0f), Point(W * 0.5f + 0.5f, H), brush);
        }
    }

    void drawCurve(Graphics_base& g, Size size)
    {
        const float W = size.width, H = size.height;
        const Rect plot(W * 0.5f - h * W, H * 0.5f - h * H, W * 0.5f + h * W, H * 0.5f + h * H);
        const float baseY = baselinePixelY();
        auto curveBrush = g.CreateSolidColorBrush(colours[curve]);

        if (mode != interpolationNone) {
            const std::vector<Point> points = curvePoints(plot);
            if (clip)
                g.PushAxisAlignedClip(plot);
            if (points.size() >= 2) {
                PathGeometry area = g.GetFactory().CreatePathGeometry();
                GeometrySink sink = area.Open();
                sink.BeginFigure(Point(points.front().x, baseY), FigureBegin::Filled);
                sink.AddLines(points);
                sink.AddLine(Point(points.back().x, baseY));
                sink.EndFigure(FigureEnd::Closed);
                sink.Close();
                g.FillGeometry(area, g.CreateLinearGradientBrush(colours[fillTop], colours[fillBottom],
                                                                 Point(0.0f, 0.0f), Point(0.0f, H)));
                g.DrawPolyline(points, curveBrush, shapeThickness);
            }
            if (clip)
                g.PopAxisAlignedClip();
        }

        auto nodeBrush = g.CreateSolidColorBrush(colours[nodeMarker]);
        auto activeBrush = g.CreateSolidColorBrush(colours[activeMarker]);
        for (int i = 0; i < count; ++i) {
            const Point centre = toPixels(nodes[i]);
            if (mode == interpolationNone)
                g.DrawLine(Point(centre.x, baseY), centre, curveBrush, shapeThickness);
            const Brush& brush = i == activeNode ? activeBrush : nodeBrush;
            const float half = nodeSize * 0.5f;
            if (pinCircles) {
                if (pinFillNodes)
                    g.FillEllipse(centre, half, half, brush);
                else
                    g.DrawEllipse(centre, half, half, brush, nodeThickness);
            } else {
                const Rect box(centre.x - half, centre.y - half, centre.x + half, centre.y + half);
                if (pinFillNodes)
                    g.FillRectangle(box, brush);
                else
                    g.DrawRectangle(box, brush, nodeThickness);
            }
        }
    }

    // The curve evaluated once per pixel column of the plot with the shapes' segment
    // interpolation, as pixel points at the column centres.
    std::vector<Point> curvePoints(const Rect& plot)
    {
        const float plotWidth = plot.getWidth();
        const int columns = static_cast<int>(std::ceil(plotWidth)) + 1;
        columnY.assign(static_cast<std::size_t>(std::max(columns, 0)), std::numeric_limits<float>::quiet_NaN());
        Node columnNodes[maxShapeNodes];
        for (int i = 0; i < count; ++i)
            columnNodes[i] = {nodes[i].x * 0.01f * plotWidth, nodes[i].y};
        interpolateSegments(columnNodes, count, mode, columns, [this](int index, float value) { columnY[index] = value; });

        std::vector<Point> points;
        points.reserve(columnY.size());
        const float H = moduleSize().height;
        for (int column = 0; column < columns; ++column) {
            const float Y = columnY[column];
            if (std::isfinite(Y))
                points.emplace_back(plot.left + column + 0.5f, (Y - 50.0f) * 0.02f * h * H + H * 0.5f);
        }
        return points;
    }
};

namespace {
const bool registeredEditor = gmpi::Register<ShapeEditor>::withId(SHAPE_MODULE_ID("ShapeEditor4"));
const bool registeredEditorC = gmpi::Register<ShapeEditor>::withId(SHAPE_MODULE_ID("ShapeEditor4c"));
}  // namespace
