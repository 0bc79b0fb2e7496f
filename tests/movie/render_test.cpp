// Drawing: the rasteriser's coverage at pixel and half-pixel edges, fills on the correct side of
// shape edges (holes stay empty), strokes, gradients, the four scale modes with zoom and pan,
// and text fields handed to the painter where they stand.
#include "control/renderer.h"
#include "control/shape_builder.h"
#include "control/stage_view.h"
#include "movie_test_support.h"

using namespace quill::movie;
using namespace quill::movie::test;

namespace {

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kWhite = 0xFFFFFFFF;

uint32_t red(uint32_t p) {
    return (p >> 16) & 0xFF;
}

struct Drawing {
    PixelBuffer pixels;
    Renderer renderer;
    void draw(Player& player, int w, int h, const Transform& t, bool antialias = true,
              TextPainter* painter = nullptr) {
        pixels.resize(w, h);
        RenderOptions o;
        o.antialias = antialias;
        o.background = player.background();
        renderer.render(player, pixels.canvas, t, o, painter);
    }
    uint32_t at(int x, int y) const { return pixels.canvas.at(x, y); }
};

const char* kRedRect = R"(
[movie]
width = 200
height = 100
background = "#00ff00"
[[shape]]
name = "r"
rect = [50, 25, 100, 50]
fill = "#ff0000"
[[place]]
name = "r"
)";

}  // namespace

TEST(RasterizerTest, CoverageIsExactOnPixelAndHalfPixelEdges) {
    PixelBuffer b;
    b.resize(10, 10);
    fillCanvas(b.canvas, {255, 255, 255, 255});
    Rasterizer r;
    r.begin(10, 10);
    Paint black;
    black.color = packColor({0, 0, 0, 255});
    // A rectangle from (2, 2) to (6, 5) and one from (7.5, 0) to (10, 10).
    for (auto [x0, y0, x1, y1] :
         {std::array<double, 4>{2, 2, 6, 5}, std::array<double, 4>{7.5, 0, 10, 10}}) {
        r.line(x0, y0, x1, y0);
        r.line(x1, y0, x1, y1);
        r.line(x1, y1, x0, y1);
        r.line(x0, y1, x0, y0);
    }
    r.fill(b.canvas, black, true);
    EXPECT_EQ(b.canvas.at(2, 2), 0xFF000000u);
    EXPECT_EQ(b.canvas.at(5, 4), 0xFF000000u);
    EXPECT_EQ(b.canvas.at(6, 4), kWhite);
    EXPECT_EQ(b.canvas.at(1, 2), kWhite);
    EXPECT_EQ(b.canvas.at(3, 5), kWhite);
    EXPECT_NEAR(static_cast<int>(red(b.canvas.at(7, 3))), 128, 2);  // half covered
    EXPECT_EQ(b.canvas.at(8, 3), 0xFF000000u);
    // Without anti-aliasing a half-covered pixel is either set or not.
    r.line(0.5, 7, 1.5, 7);
    r.line(1.5, 7, 1.5, 8);
    r.line(1.5, 8, 0.5, 8);
    r.line(0.5, 8, 0.5, 7);
    r.fill(b.canvas, black, false);
    uint32_t p = b.canvas.at(0, 7);
    EXPECT_TRUE(p == kWhite || p == 0xFF000000u);
}

TEST(RasterizerTest, EdgesFarOutsideTheCanvasAreHarmless) {
    PixelBuffer b;
    b.resize(8, 8);
    Rasterizer r;
    r.begin(8, 8);
    r.line(-1e9, -1e9, 1e9, 1e9);
    r.line(1e9, 1e9, -1e9, 5);
    r.line(-1e9, 5, -1e9, -1e9);
    r.line(0, 0, std::nan(""), 3);
    r.strokeLine(0, 0, 1e300, 1e300, 3);
    r.quad(0, 0, 1e308, -1e308, 3, 3);
    Paint p;
    p.color = kRed;
    r.fill(b.canvas, p, true);
    SUCCEED();
}

TEST(ShapeTest, NestedOutlinesAreHolesAndHitTestsAgree) {
    ShapeBuilder b;
    b.rect(0, 0, 40, 40);
    b.rect(10, 10, 20, 20);  // same turn as the outer one: still a hole
    ShapeDefinition def = b.build(Rgba{0, 0, 255, 255}, std::nullopt, 0, 3);
    ShapeGeometry g = buildGeometry(def);
    EXPECT_TRUE(geometryContains(g, 5 * 20, 5 * 20));
    EXPECT_FALSE(geometryContains(g, 20 * 20, 20 * 20));
    EXPECT_FALSE(geometryContains(g, 50 * 20, 5 * 20));

    Player player;
    auto movie = movieFrom(R"(
[movie]
width = 40
height = 40
[[shape]]
name = "ring"
path = "M 0 0 H 40 V 40 H 0 Z M 10 10 V 30 H 30 V 10 Z"
fill = "#0000ff"
[[place]]
name = "ring"
)");
    player.load(movie);
    Drawing f;
    f.draw(player, 40, 40, Transform{0.05, 0, 0, 0.05, 0, 0});
    EXPECT_EQ(f.at(5, 5), 0xFF0000FFu);
    EXPECT_EQ(f.at(20, 20), kWhite);
    EXPECT_EQ(f.at(35, 35), 0xFF0000FFu);
}

TEST(RenderTest, RedRectangleUnderEveryScaleMode) {
    Player player;
    player.load(movieFrom(kRedRect));
    StageView view;
    view.setStage(player.movie()->frameSize);
    struct Case {
        int mode;
        int x0, y0, x1, y1;  // the red rectangle in a 400 x 400 window
    } cases[] = {{kShowAll, 100, 150, 300, 250},
                 {kNoBorder, 0, 100, 400, 300},
                 {kExactFit, 100, 100, 300, 300},
                 {kNoScale, 150, 175, 250, 225}};
    Drawing f;
    for (const Case& c : cases) {
        view.setScaleMode(c.mode);
        f.draw(player, 400, 400, view.toClient(400, 400));
        SCOPED_TRACE("scale mode " + std::to_string(c.mode));
        EXPECT_EQ(f.at(c.x0, c.y0), kRed);
        EXPECT_EQ(f.at(c.x1 - 1, c.y1 - 1), kRed);
        EXPECT_EQ(f.at((c.x0 + c.x1) / 2, (c.y0 + c.y1) / 2), kRed);
        if (c.x0 > 0) {
            EXPECT_EQ(f.at(c.x0 - 1, c.y0), kGreen);
        }
        if (c.x1 < 400) {
            EXPECT_EQ(f.at(c.x1, c.y0), kGreen);
        }
        EXPECT_EQ(f.at(c.x0, c.y0 - 1), kGreen);
        EXPECT_EQ(f.at(c.x0, c.y1), kGreen);
        EXPECT_EQ(f.at(0, 0), kGreen);  // the letterbox shows the background too
    }
    // Alignment moves the left-over space.
    view.setScaleMode(kShowAll);
    view.setAlign(kAlignTop);
    f.draw(player, 400, 400, view.toClient(400, 400));
    EXPECT_EQ(f.at(100, 50), kRed);
    EXPECT_EQ(f.at(100, 150), kGreen);
}

TEST(RenderTest, ZoomAndPanChooseThePartOfTheStageShown) {
    Player player;
    player.load(movieFrom(kRedRect));
    StageView view;
    view.setStage(player.movie()->frameSize);
    view.setScaleMode(kExactFit);
    view.zoom(50);  // half the stage fills the window: twice the size
    Transform t = view.toClient(200, 100);
    EXPECT_DOUBLE_EQ(t.a, 2.0 / 20);
    EXPECT_DOUBLE_EQ(t.mapX(2000, 1000), 100);  // the centre stays
    view.pan(-1000, 0, 0, 200, 100);            // pans stop at the stage's edge
    EXPECT_EQ(view.view().xMin, 0);
    view.pan(50, 0, 1, 200, 100);  // half a view to the right
    EXPECT_EQ(view.view().xMin, 1000);
    view.zoom(0);
    EXPECT_FALSE(view.zoomed());
    view.setZoomRect({0, 2000, 0, 1000});  // the top left quarter
    Drawing f;
    f.draw(player, 200, 100, view.toClient(200, 100));
    EXPECT_EQ(f.at(150, 75), kRed);
    EXPECT_EQ(f.at(50, 25), kGreen);
    view.zoom(1);  // bounded: at most twenty times
    EXPECT_GE(view.view().width(), 4000 / 20);
}

TEST(RenderTest, StrokesGradientsAndTransparency) {
    Player player;
    player.load(movieFrom(R"(
[movie]
width = 100
height = 100
[[shape]]
name = "l"
path = "M 10 10 L 90 10"
line = "#000000"
line_width = 4
[[shape]]
name = "half"
rect = [0, 50, 100, 50]
fill = "#ff000080"
[[place]]
name = "l"
[[place]]
name = "half"
)"));
    Drawing f;
    f.draw(player, 100, 100, Transform{0.05, 0, 0, 0.05, 0, 0});
    EXPECT_EQ(f.at(50, 9), 0xFF000000u);
    EXPECT_EQ(f.at(50, 11), 0xFF000000u);
    EXPECT_EQ(f.at(50, 13), kWhite);
    uint32_t p = f.at(50, 75);  // half red over white
    EXPECT_EQ(red(p), 255u);
    EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), 127, 2);

    FillStyle gradient;
    gradient.kind = kFillLinearGradient;
    gradient.stops = {{0, {0, 0, 0, 255}}, {255, {255, 255, 255, 255}}};
    gradient.matrix.scaleX = gradient.matrix.scaleY = 65536 * 100 * 20 / 32768;  // across 100 px
    gradient.matrix.translateX = 50 * 20;
    Paint paint;
    ASSERT_TRUE(makePaint(gradient, {}, Transform{0.05, 0, 0, 0.05, 0, 0}, &paint));
    PixelBuffer b;
    b.resize(100, 4);
    Rasterizer r;
    r.begin(100, 4);
    r.line(0, 0, 100, 0);
    r.line(100, 0, 100, 4);
    r.line(100, 4, 0, 4);
    r.line(0, 4, 0, 0);
    r.fill(b.canvas, paint, true);
    EXPECT_LT(red(b.canvas.at(5, 1)), 20u);
    EXPECT_NEAR(static_cast<int>(red(b.canvas.at(50, 1))), 128, 4);
    EXPECT_GT(red(b.canvas.at(95, 1)), 235u);
}

namespace {

struct RecordingPainter : TextPainter {
    std::vector<TextRun> runs;
    void drawText(Canvas&, const TextRun& run) override { runs.push_back(run); }
};

}  // namespace

TEST(RenderTest, TextFieldsGoToThePainterWithTheirVariable) {
    Player player;
    player.load(movieFrom(R"(
[movie]
width = 200
height = 100
[[text]]
name = "t"
rect = [10, 20, 100, 30]
variable = "msg"
font = "Courier New"
size = 15
color = "#0000ff"
border = true
[[place]]
name = "t"
)"));
    player.setVariable("msg", "hi");
    Drawing f;
    RecordingPainter painter;
    f.draw(player, 400, 200, Transform{0.1, 0, 0, 0.1, 0, 0}, true, &painter);
    ASSERT_EQ(painter.runs.size(), 1u);
    const TextRun& run = painter.runs[0];
    EXPECT_EQ(run.text, "hi");
    EXPECT_EQ(run.font, "Courier New");
    EXPECT_DOUBLE_EQ(run.height, 30);
    EXPECT_DOUBLE_EQ(run.x0, 20);
    EXPECT_DOUBLE_EQ(run.y0, 40);
    EXPECT_EQ(run.color, (Rgba{0, 0, 255, 255}));
    EXPECT_EQ(f.at(20, 40), 0xFF000000u);  // the border
    EXPECT_EQ(f.at(30, 50), kWhite);
}
