#pragma once
// Marks functions that compile for the host and for CUDA devices alike. CPU twins of the
// kernels and the kernels themselves call the same CRN_HD functions, so there is one source
// of every formula.
#if defined(__CUDACC__)
#define CRN_HD __host__ __device__
#define CRN_DEVICE __device__
#else
#define CRN_HD
#define CRN_DEVICE
#endif
