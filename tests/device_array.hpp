// An array in the emulated device's memory for the length of a test, filled from and read
// back to the host.
#pragma once

#include "cuda_runtime_api.h"

#include <cstddef>
#include <gtest/gtest.h>
#include <vector>

namespace kelvane::test_support {

template <class T>
class device_array {
  public:
    explicit device_array(std::size_t count) : count_(count) {
        EXPECT_EQ(cudaMalloc(&address_, count * sizeof(T)), cudaSuccess);
    }
    ~device_array() { cudaFree(address_); }
    device_array(const device_array&) = delete;
    device_array& operator=(const device_array&) = delete;

    void* get() const { return address_; }
    // The device address as another element type, as a library call takes it.
    template <class U>
    U* as() const {
        return static_cast<U*>(address_);
    }
    // Writes `values` from the start.
    void put(const std::vector<T>& values) {
        EXPECT_EQ(
            cudaMemcpy(address_, values.data(), values.size() * sizeof(T), cudaMemcpyHostToDevice),
            cudaSuccess);
    }
    std::vector<T> read() const {
        std::vector<T> values(count_);
        EXPECT_EQ(cudaMemcpy(values.data(), address_, count_ * sizeof(T), cudaMemcpyDeviceToHost),
                  cudaSuccess);
        return values;
    }

  private:
    void* address_ = nullptr;
    std::size_t count_;
};

} // namespace kelvane::test_support
