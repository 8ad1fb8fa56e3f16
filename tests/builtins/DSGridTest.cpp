// Grids: cells, regions, disks, region copies, statistics, searches, shuffle and sort.
#include "builtins/BuiltinsTestSupport.h"

#include <cmath>
#include <sstream>

#include "Files/DS/DS_Grid.h"

namespace {

class DSGrid : public BuiltinsTest {
protected:
    int Grid(int w, int h, double fill = 0)
    {
        int g = int(Call("ds_grid_create", {w, h}).Real());
        Call("ds_grid_clear", {g, fill});
        return g;
    }
    // Row y as "a,b,c".
    std::string Row(int g, int y)
    {
        std::string out;
        int w = int(Call("ds_grid_width", {g}).Real());
        for (int x = 0; x < w; x++) {
            Val v = Call("ds_grid_get", {g, x, y});
            std::ostringstream s;
            if (v.IsString()) s << "'" << v.Text() << "'";
            else s << v.Real();
            out += (x ? "," : "") + s.str();
        }
        return out;
    }
};

TEST_F(DSGrid, RegionsClipAndTakeEitherCornerOrder)
{
    int g = Grid(4, 4);
    Call("ds_grid_set_region", {g, 5, 5, 2, 2, 1});
    EXPECT_EQ(Row(g, 1), "0,0,0,0");
    EXPECT_EQ(Row(g, 2), "0,0,1,1");
    EXPECT_EQ(Row(g, 3), "0,0,1,1");
    Call("ds_grid_add_region", {g, -3, 0, 0, 10, 5});
    EXPECT_EQ(Row(g, 3), "5,0,1,1");
    Call("ds_grid_multiply_region", {g, 0, 3, 3, 3, 3});
    EXPECT_EQ(Row(g, 3), "15,0,3,3");
    Call("ds_grid_set_region", {g, 10, 10, 20, 20, 9}); // outside: nothing
    EXPECT_EQ(Call("ds_grid_get_sum", {g, 0, 0, 3, 3}).Real(), 38);
}

TEST_F(DSGrid, DisksIncludeTheirBoundary)
{
    int g = Grid(5, 5, 1);
    EXPECT_EQ(Call("ds_grid_get_disk_sum", {g, 1, 1, 1}).Real(), 5);
    EXPECT_EQ(Call("ds_grid_get_disk_sum", {g, 1, 1, 0}).Real(), 1);
    EXPECT_EQ(Call("ds_grid_get_disk_sum", {g, 1.5, 1, 0}).Real(), 0); // no cell at the centre
    EXPECT_EQ(Call("ds_grid_get_disk_sum", {g, 0, 0, 100}).Real(), 25);
    EXPECT_EQ(Call("ds_grid_get_disk_sum", {g, 2, 2, -1}).Real(), 0);
    EXPECT_EQ(Call("ds_grid_get_disk_sum", {g, std::nan(""), 2, 1}).Real(), 0);
    Call("ds_grid_set_disk", {g, 2, 2, 1.5, 3});
    EXPECT_EQ(Row(g, 1), "1,3,3,3,1");
    EXPECT_EQ(Row(g, 0), "1,1,1,1,1");
    EXPECT_EQ(Call("ds_grid_get_disk_mean", {g, 2, 2, 1}).Real(), 3);
    Call("ds_grid_multiply_disk", {g, 0, 0, 0, 7});
    Call("ds_grid_add_disk", {g, 4, 4, 0, 1});
    EXPECT_EQ(Call("ds_grid_get", {g, 0, 0}).Real(), 7);
    EXPECT_EQ(Call("ds_grid_get", {g, 4, 4}).Real(), 2);
    EXPECT_EQ(Call("ds_grid_get_disk_max", {g, 0, 0, 1}).Real(), 7);
    EXPECT_EQ(Call("ds_grid_get_disk_min", {g, 0, 0, 1}).Real(), 1);
}

TEST_F(DSGrid, CellOperationsAndKinds)
{
    int g = Grid(2, 2);
    Call("ds_grid_add", {g, 0, 0, "s"});
    EXPECT_EQ(Call("ds_grid_get", {g, 0, 0}).Text(), "s");
    Call("ds_grid_multiply", {g, 0, 0, "t"});
    EXPECT_EQ(Call("ds_grid_get", {g, 0, 0}).Text(), "s");
    Call("ds_grid_set", {g, 1, 0, "a"});
    Call("ds_grid_add", {g, 1, 0, "b"});
    EXPECT_EQ(Call("ds_grid_get", {g, 1, 0}).Text(), "ab");
    Call("ds_grid_add", {g, 1, 0, 4});
    EXPECT_EQ(Call("ds_grid_get", {g, 1, 0}).Real(), 4); // kinds differ: set
    Call("ds_grid_multiply", {g, 1, 0, 2.5});
    EXPECT_EQ(Call("ds_grid_get", {g, 1, 0}).Real(), 10);
    // A string concatenation is not cut.
    std::string big(3000, 'x');
    Call("ds_grid_set", {g, 0, 1, big});
    Call("ds_grid_add", {g, 0, 1, big});
    EXPECT_EQ(Call("ds_grid_get", {g, 0, 1}).Text().size(), 6000u);
    // Adding a cell to itself (region of one cell, the operand the same cell's value).
    Call("ds_grid_add_grid_region", {g, g, 1, 1, 1, 1, 1, 1});
}

TEST_F(DSGrid, OutOfBoundsCellsWriteTraces)
{
    int g = Grid(4, 4);
    Call("ds_grid_set", {g, 10, 0, 1});
    EXPECT_TRUE(Logged("Grid 0, index out of bounds writing [10,0] - size is [4,4]\n"));
    Val r = Call("ds_grid_get", {g, -1, 2});
    EXPECT_EQ(r.Real(), 0);
    EXPECT_TRUE(Logged("Grid 0, index out of bounds reading [-1,2] - size is [4,4]\n"));
    EXPECT_EQ(Errors(), 0);
    EXPECT_EQ(Call("ds_grid_get_sum", {g, 0, 0, 3, 3}).Real(), 0);
}

TEST_F(DSGrid, Statistics)
{
    int g = Grid(3, 1);
    Call("ds_grid_set", {g, 0, 0, "s"});
    Call("ds_grid_set", {g, 1, 0, "t"});
    EXPECT_EQ(Call("ds_grid_get_max", {g, 0, 0, 1, 0}).Real(), -100000000);
    EXPECT_EQ(Call("ds_grid_get_min", {g, 0, 0, 1, 0}).Real(), 100000000);
    EXPECT_EQ(Call("ds_grid_get_mean", {g, 0, 0, 1, 0}).Real(), 0);
    EXPECT_EQ(Call("ds_grid_get_sum", {g, 0, 0, 1, 0}).Real(), 0);
    Call("ds_grid_set", {g, 2, 0, -3});
    EXPECT_EQ(Call("ds_grid_get_mean", {g, 0, 0, 2, 0}).Real(), -3);
    Call("ds_grid_set", {g, 2, 0, 5e8});
    EXPECT_EQ(Call("ds_grid_get_max", {g, 0, 0, 2, 0}).Real(), 5e8);
    EXPECT_EQ(Call("ds_grid_get_min", {g, 0, 0, 2, 0}).Real(), 100000000);
}

TEST_F(DSGrid, ValueSearches)
{
    int g = Grid(3, 3);
    Call("ds_grid_set", {g, 0, 2, "hit"});
    Call("ds_grid_set", {g, 2, 1, "hit"});
    EXPECT_EQ(Call("ds_grid_value_exists", {g, 0, 0, 2, 2, "hit"}).Real(), 1);
    EXPECT_EQ(Call("ds_grid_value_x", {g, 0, 0, 2, 2, "hit"}).Real(), 0);
    EXPECT_EQ(Call("ds_grid_value_y", {g, 0, 0, 2, 2, "hit"}).Real(), 2);
    EXPECT_EQ(Call("ds_grid_value_x", {g, 1, 0, 2, 2, "hit"}).Real(), 2);
    EXPECT_EQ(Call("ds_grid_value_exists", {g, 0, 0, 2, 2, "miss"}).Real(), 0);
    EXPECT_EQ(Call("ds_grid_value_x", {g, 0, 0, 2, 2, "miss"}).Real(), 0);
    EXPECT_EQ(Call("ds_grid_value_disk_exists", {g, 2, 2, 1, "hit"}).Real(), 1);
    EXPECT_EQ(Call("ds_grid_value_disk_x", {g, 2, 2, 1, "hit"}).Real(), 2);
    EXPECT_EQ(Call("ds_grid_value_disk_y", {g, 2, 2, 1, "hit"}).Real(), 1);
    EXPECT_EQ(Call("ds_grid_value_disk_exists", {g, 0, 0, 1, "hit"}).Real(), 0);
}

TEST_F(DSGrid, GridRegionCopies)
{
    int g = Grid(4, 1);
    for (int x = 0; x < 4; x++) Call("ds_grid_set", {g, x, 0, x + 1});
    Call("ds_grid_set_grid_region", {g, g, 0, 0, 2, 0, 1, 0});
    EXPECT_EQ(Row(g, 0), "1,1,2,3"); // read before overwritten
    for (int x = 0; x < 4; x++) Call("ds_grid_set", {g, x, 0, x + 1});
    Call("ds_grid_set_grid_region", {g, g, 1, 0, 3, 0, 0, 0});
    EXPECT_EQ(Row(g, 0), "2,3,4,4");

    int src = Grid(3, 3);
    for (int x = 0; x < 3; x++)
        for (int y = 0; y < 3; y++) Call("ds_grid_set", {src, x, y, 10 * x + y});
    int dst = Grid(3, 3, 100);
    // Negative positions cut the source; the far edge clips to the destination.
    Call("ds_grid_add_grid_region", {dst, src, 0, 0, 2, 2, -1, 1});
    EXPECT_EQ(Row(dst, 0), "100,100,100");
    EXPECT_EQ(Row(dst, 1), "110,120,100");
    EXPECT_EQ(Row(dst, 2), "111,121,100");
    Call("ds_grid_multiply_grid_region", {dst, src, 2, 2, 2, 2, 2, 2});
    EXPECT_EQ(Call("ds_grid_get", {dst, 2, 2}).Real(), 2200);
    Call("ds_grid_set_grid_region", {dst, 99, 0, 0, 1, 1, 0, 0});
    EXPECT_EQ(Errors(), 1);
}

TEST_F(DSGrid, ResizeCopyAndSizes)
{
    int g = Grid(3, 2, 7);
    Call("ds_grid_set", {g, 2, 1, "keep"});
    Call("ds_grid_resize", {g, 4, 3});
    EXPECT_EQ(Row(g, 1), "7,7,'keep',0");
    EXPECT_EQ(Row(g, 2), "0,0,0,0");
    Call("ds_grid_resize", {g, 2, 1});
    EXPECT_EQ(Row(g, 0), "7,7");
    int c = Grid(1, 1);
    Call("ds_grid_copy", {c, g});
    EXPECT_EQ(Call("ds_grid_width", {c}).Real(), 2);
    EXPECT_EQ(Call("ds_grid_height", {c}).Real(), 1);
    Call("ds_grid_copy", {c, c});
    EXPECT_EQ(Row(c, 0), "7,7");
    // Negative sizes count as 0; regions of an empty grid cover nothing.
    int e = int(Call("ds_grid_create", {-3, 5}).Real());
    EXPECT_EQ(Call("ds_grid_width", {e}).Real(), 0);
    Call("ds_grid_set_region", {e, 0, 0, 5, 5, 1});
    Call("ds_grid_shuffle", {e});
    Call("ds_grid_resize", {e, 2, -1});
    EXPECT_EQ(Call("ds_grid_height", {e}).Real(), 0);
    EXPECT_EQ(Errors(), 0);
    // A grid beyond the cell limit is refused with an error.
    int huge = int(Call("ds_grid_create", {100000, 100000}).Real());
    EXPECT_EQ(Errors(), 1);
    EXPECT_EQ(Call("ds_grid_width", {huge}).Real(), 0);
}

TEST_F(DSGrid, ShuffleFollowsTheSeededSequence)
{
    int g = int(Call("ds_grid_create", {3, 4}).Real());
    for (int x = 0; x < 3; x++)
        for (int y = 0; y < 4; y++) Call("ds_grid_set", {g, x, y, x * 4 + y});
    Call("random_set_seed", {777});
    Call("ds_grid_shuffle", {g});
    std::string got;
    for (int x = 0; x < 3; x++)
        for (int y = 0; y < 4; y++) got += (got.empty() ? "" : " ") + std::to_string(int(Call("ds_grid_get", {g, x, y}).Real()));
    std::string expected = RunPython("builtins/well512.py", "grid_shuffle 777 3 4\n");
    EXPECT_EQ(got + "\n", expected);
}

TEST_F(DSGrid, SortRowsByColumn)
{
    int g = Grid(2, 5);
    const char* keys[] = {"b", nullptr, "a", nullptr, nullptr};
    double reals[] = {0, 3, 0, 1, std::nan("")};
    for (int y = 0; y < 5; y++) {
        if (keys[y]) Call("ds_grid_set", {g, 0, y, keys[y]});
        else Call("ds_grid_set", {g, 0, y, reals[y]});
        Call("ds_grid_set", {g, 1, y, y});
    }
    Call("ds_grid_sort", {g, 0, 1});
    std::string order;
    for (int y = 0; y < 5; y++) order += std::to_string(int(Call("ds_grid_get", {g, 1, y}).Real()));
    EXPECT_EQ(order, "20314"); // strings first, then reals, not-a-number last
    Call("ds_grid_sort", {g, 0, 0});
    order.clear();
    for (int y = 0; y < 5; y++) order += std::to_string(int(Call("ds_grid_get", {g, 1, y}).Real()));
    EXPECT_EQ(order, "41302");

    // Column equal to the width, two arguments, a string argument: nothing.
    Call("ds_grid_sort", {g, 2, 1});
    Call("ds_grid_sort", {g, 0});
    Call("ds_grid_sort", {g, "0", 1});
    order.clear();
    for (int y = 0; y < 5; y++) order += std::to_string(int(Call("ds_grid_get", {g, 1, y}).Real()));
    EXPECT_EQ(order, "41302");
    // The index and the column are truncated.
    Call("ds_grid_sort", {0.9, 1.9, 1});
    order.clear();
    for (int y = 0; y < 5; y++) order += std::to_string(int(Call("ds_grid_get", {g, 1, y}).Real()));
    EXPECT_EQ(order, "01234");
}

TEST_F(DSGrid, SortWithEqualKeysIsStable)
{
    int g = Grid(2, 200);
    for (int y = 0; y < 200; y++) {
        Call("ds_grid_set", {g, 0, y, y % 3});
        Call("ds_grid_set", {g, 1, y, y});
    }
    Call("ds_grid_sort", {g, 0, 1});
    int previousKey = -1, previousRow = -1;
    for (int y = 0; y < 200; y++) {
        int key = int(Call("ds_grid_get", {g, 0, y}).Real());
        int row = int(Call("ds_grid_get", {g, 1, y}).Real());
        if (key == previousKey) EXPECT_GT(row, previousRow);
        else EXPECT_GT(key, previousKey);
        previousKey = key;
        previousRow = row;
    }
}

} // namespace
