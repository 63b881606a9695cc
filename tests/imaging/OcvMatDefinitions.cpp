// The three members of cv::Mat that the matrix tests call. OpenCV's header declares them but
// defines them in its library, which exists here only as a native Linux build; the module
// itself reads the matrix's members and calls nothing. These follow OpenCV's documented
// behaviour for matrices over memory the caller owns: two dimensions, flags = magic value |
// element type | continuity (rows without padding), step = (row pitch, element size).
#include <opencv2/core/mat.hpp>

namespace cv {

Mat::Mat()
    : flags(MAGIC_VAL),
      dims(0),
      rows(0),
      cols(0),
      data(nullptr),
      datastart(nullptr),
      dataend(nullptr),
      datalimit(nullptr),
      allocator(nullptr),
      u(nullptr),
      size(&rows) {}

Mat::Mat(int rows_, int cols_, int type, void* data_, size_t step_)
    : flags(MAGIC_VAL | (type & TYPE_MASK)),
      dims(2),
      rows(rows_),
      cols(cols_),
      data(static_cast<uchar*>(data_)),
      datastart(static_cast<uchar*>(data_)),
      dataend(nullptr),
      datalimit(nullptr),
      allocator(nullptr),
      u(nullptr),
      size(&rows) {
  const size_t elementSize = CV_ELEM_SIZE(type);
  const size_t rowBytes = elementSize * static_cast<size_t>(cols);
  const size_t pitch = step_ == AUTO_STEP ? rowBytes : step_;
  step.p[0] = pitch;
  step.p[1] = elementSize;
  if (pitch == rowBytes || rows == 1) flags |= CONTINUOUS_FLAG;
  datalimit = datastart + pitch * static_cast<size_t>(rows);
  dataend = rows > 0 ? datastart + pitch * static_cast<size_t>(rows - 1) + rowBytes : datastart;
}

// The memory belongs to the caller: nothing to free.
Mat::~Mat() = default;

}  // namespace cv
