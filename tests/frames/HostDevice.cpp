#include "HostDevice.h"

void HostDeviceTest::SetUp() {
  openAtStart_ = vmdxtest::OpenObjects();
  HRESULT hr = Direct3DCreate9Ex(D3D_SDK_VERSION, &d3d_);
  if (FAILED(hr)) {
    GTEST_SKIP() << "no Direct3D 9Ex here: " << vmdxtest::HrText(hr);
  }
  D3DPRESENT_PARAMETERS pp{};
  pp.BackBufferWidth = 64;
  pp.BackBufferHeight = 64;
  pp.BackBufferFormat = D3DFMT_X8R8G8B8;
  pp.BackBufferCount = 1;
  pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  pp.hDeviceWindow = GetDesktopWindow();
  pp.Windowed = TRUE;
  hr = d3d_->CreateDeviceEx(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, GetDesktopWindow(),
                            D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MULTITHREADED, &pp, nullptr, &device_);
  if (FAILED(hr)) {
    GTEST_SKIP() << "no Direct3D 9Ex device here: " << vmdxtest::HrText(hr);
  }
}

void HostDeviceTest::TearDown() {
  EXPECT_EQ(openAtStart_, vmdxtest::OpenObjects()) << "frames left open";
  if (device_) {
    EXPECT_EQ(0u, device_.Detach()->Release()) << "something still holds the device";
  }
  d3d_.Reset();
}

Microsoft::WRL::ComPtr<IDirect3DTexture9> HostDeviceTest::MakeTexture(UINT width, UINT height, D3DFORMAT format,
                                                                      DWORD usage, D3DPOOL pool) {
  Microsoft::WRL::ComPtr<IDirect3DTexture9> texture;
  const HRESULT hr = device_->CreateTexture(width, height, 1, usage, format, pool, &texture, nullptr);
  EXPECT_HR(S_OK, hr) << "CreateTexture " << format;
  return texture;
}
