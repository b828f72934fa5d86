// The record types that cross to scripts as handles, with the names their
// handle errors use. A type missing here cannot be passed or returned by a
// command: the compiler says so.
#pragma once

template <class T>
struct HandleName;

#define ORVANE_HANDLE_TYPE(Type)                                 \
  struct Type;                                                   \
  template <>                                                    \
  struct HandleName<Type> {                                      \
    static constexpr const char *value = #Type;                  \
  };

ORVANE_HANDLE_TYPE(Scene)
ORVANE_HANDLE_TYPE(Image)
ORVANE_HANDLE_TYPE(CImage)
ORVANE_HANDLE_TYPE(Curve)
ORVANE_HANDLE_TYPE(Curve3D)
ORVANE_HANDLE_TYPE(AdjRel)
ORVANE_HANDLE_TYPE(AdjRel3)
ORVANE_HANDLE_TYPE(AdjPxl)
ORVANE_HANDLE_TYPE(AdjVxl)
ORVANE_HANDLE_TYPE(Frame)
ORVANE_HANDLE_TYPE(Kernel)
ORVANE_HANDLE_TYPE(Heap)
ORVANE_HANDLE_TYPE(Queue)
ORVANE_HANDLE_TYPE(Set)
ORVANE_HANDLE_TYPE(Plane)
ORVANE_HANDLE_TYPE(Context)
ORVANE_HANDLE_TYPE(ZBuffer)
ORVANE_HANDLE_TYPE(FBuffer)
ORVANE_HANDLE_TYPE(Shell)
ORVANE_HANDLE_TYPE(AnnScn)
ORVANE_HANDLE_TYPE(AnnImg)
ORVANE_HANDLE_TYPE(BMap)
ORVANE_HANDLE_TYPE(BorderList)
ORVANE_HANDLE_TYPE(IntArray)

#undef ORVANE_HANDLE_TYPE
