#pragma once
// The order in which a picture's rows pass from a reader through a conversion to a writer.
// Rows are counted from the bottom, as the planes store them: row 0 is the bottom row.

namespace k3v {

enum class RowOrder {
    BottomFirst,  // row 0 first
    TopFirst,     // row height - 1 first, as JPEG and PNG files hold them
};

}  // namespace k3v
