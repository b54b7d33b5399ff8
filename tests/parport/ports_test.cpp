// The parallel-port driver's logic against a fake kernel.
#include <gtest/gtest.h>


#include <cerrno>
#include <climits>
#include <thread>

#include "fake_kernel.h"
#include "ports.h"

namespace {

using parport::Access;
using parport::ParallelPorts;
using Calls = std::vector<std::string>;

constexpr int64_t kData = 888, kStatus = 889, kControl = 890;

class Ports : public ::testing::Test {
 protected:
  FakeNode& node(int n) { return kernel.nodes.at("/dev/parport" + std::to_string(n)); }
  // Kernel calls beyond the claim of the first access.
  Calls calls_after(size_t skip) {
    Calls all = kernel.calls();
    return Calls(all.begin() + static_cast<long>(std::min(skip, all.size())), all.end());
  }
  bool warned(const std::string& text) {
    for (const std::string& w : kernel.warnings)
      if (w.find(text) != std::string::npos) return true;
    return false;
  }

  FakeKernel kernel;
  ParallelPorts ports{kernel};
};

// ---- Which port an address reaches ----

using AddressMapping = Ports;

TEST_F(AddressMapping, FirstBlockReachesParport0WhateverItsBase) {
  kernel.add_port(0, 0xd010);
  node(0).status = 0x40;
  ports.write(kData, 0x5A);
  ports.write(kControl, 7);
  EXPECT_EQ(ports.read(kStatus), 0x40);
  EXPECT_EQ(node(0).data, 0x5A);
  EXPECT_EQ(node(0).control, 7);
  EXPECT_TRUE(kernel.io.empty());
}

TEST_F(AddressMapping, FirstBlockPrefersThePortAtTheStandardAddress) {
  kernel.add_port(0, 0x278);
  kernel.add_port(1, 0x378);
  ports.write(kData, 0x55);
  ports.write(0x278, 0x22);
  EXPECT_EQ(node(1).data, 0x55);
  EXPECT_EQ(node(0).data, 0x22);
  EXPECT_TRUE(ports.installed());
  EXPECT_EQ(kernel.count("open /dev/parport1"), 1u);
}

TEST_F(AddressMapping, OtherBlockReachesThePortWithThatBase) {
  kernel.add_port(0, 0x378);
  kernel.add_port(1, 0xd010);
  node(1).status = 0x28;
  ports.write(0xd010, 1);
  ports.write(0xd012, 5);
  EXPECT_EQ(ports.read(0xd011), 0x28);
  EXPECT_EQ(node(1).data, 1);
  EXPECT_EQ(node(1).control, 5);
  EXPECT_EQ(kernel.count("open /dev/parport0"), 0u);
}

TEST_F(AddressMapping, FirstPortsOwnBaseSharesItsSingleClaim) {
  kernel.add_port(0, 0xd010);
  ports.write(kData, 1);
  ports.write(0xd010, 2);
  EXPECT_EQ(node(0).data, 2);
  EXPECT_EQ(kernel.count("open "), 1u);
}

TEST_F(AddressMapping, AddressesOutsideEveryBlockTouchNothing) {
  kernel.add_port(0, 0xd010);
  kernel.add_port(1, 0x278);
  for (int64_t address : {int64_t{887}, int64_t{891}, int64_t{0xd013}, int64_t{0x277}, int64_t{0},
                          int64_t{-1}, int64_t{INT32_MIN}, int64_t{INT32_MAX}}) {
    ports.write(address, 0xFF);
    EXPECT_EQ(ports.read(address), parport::kNoPortRead) << address;
  }
  EXPECT_EQ(kernel.calls(), Calls{});
}

TEST_F(AddressMapping, MalformedProcEntriesAreIgnored) {
  kernel.add_proc_entry(1, "garbage");
  kernel.add_proc_entry(2, "");
  kernel.add_proc_entry(3, "65535\t-1\n");  // a block that would run past the I/O space
  kernel.add_proc_entry(4, "0\t0\n");       // no address (a USB adapter)
  kernel.add_proc_entry(5, "632x\n");
  kernel.files["/proc/sys/dev/parport/default/base-addr"] = "0x278";
  kernel.files["/proc/sys/dev/parport/parportx/base-addr"] = "632";
  kernel.add_port(6, 0x278);
  for (int64_t address : {int64_t{65535}, int64_t{0}, int64_t{632 + 3}}) ports.write(address, 1);
  EXPECT_EQ(kernel.calls(), Calls{});
  ports.write(0x278, 9);
  EXPECT_EQ(node(6).data, 9);
}

TEST_F(AddressMapping, LowerNumberedPortWinsASharedBlock) {
  kernel.add_port(2, 0x278);
  kernel.add_port(1, 0x278);
  ports.write(0x278, 3);
  EXPECT_EQ(node(1).data, 3);
  EXPECT_EQ(node(2).data, 0);
}

// ---- The ppdev interface ----

using Ppdev = Ports;

TEST_F(Ppdev, FirstAccessOpensClaimsExclusivelyThenWrites) {
  kernel.add_port(0, 0x378);
  ports.write(kData, 90);
  EXPECT_EQ(kernel.calls(), (Calls{"open /dev/parport0", "PPEXCL /dev/parport0",
                                   "PPCLAIM /dev/parport0", "PPWDATA 90 /dev/parport0"}));
  EXPECT_EQ(ports.access_of(0), Access::kPpdev);
}

TEST_F(Ppdev, PortIsClaimedOnceAndKept) {
  kernel.add_port(0, 0x378);
  for (int i = 0; i < 1000; ++i) {
    ports.write(kControl, 3);
    ports.read(kStatus);
  }
  EXPECT_TRUE(ports.installed());
  EXPECT_EQ(kernel.count("open "), 1u);
  EXPECT_EQ(kernel.count("PPEXCL"), 1u);
  EXPECT_EQ(kernel.count("PPCLAIM"), 1u);
  EXPECT_EQ(kernel.count("close"), 0u);
  EXPECT_EQ(kernel.count("PPRSTATUS"), 1000u);
}

TEST_F(Ppdev, EachRegisterHasItsIoctlAndStatusIsReadOnly) {
  kernel.add_port(0, 0x378);
  node(0).data = 0x11;
  node(0).status = 0x22;
  node(0).control = 0x04;
  EXPECT_EQ(ports.read(kData), 0x11);
  EXPECT_EQ(ports.read(kStatus), 0x22);
  EXPECT_EQ(ports.read(kControl), 0x04);
  ports.write(kStatus, 0xFF);
  EXPECT_EQ(calls_after(3), (Calls{"PPRDATA /dev/parport0", "PPRSTATUS /dev/parport0",
                                   "PPRCONTROL /dev/parport0"}));
  EXPECT_EQ(node(0).status, 0x22);
}

TEST_F(Ppdev, ControlWritesKeepDirectionAndInterruptBitsClear) {
  kernel.add_port(0, 0x378);
  ports.write(kControl, 0xFF);
  EXPECT_EQ(node(0).control, 0x0F);
}

// ---- Raw port I/O where ppdev is missing ----

using Fallback = Ports;

TEST_F(Fallback, RawIoAtTheKernelReportedBaseWhenTheNodeIsMissing) {
  kernel.add_proc_entry(0, "53264\t54288\n");  // 0xd010
  kernel.io[0xd011] = 0x30;
  ports.write(kControl, 5);
  EXPECT_EQ(ports.read(kStatus), 0x30);
  EXPECT_EQ(kernel.calls(),
            (Calls{"open /dev/parport0", "ioperm 0xd010 3", "outb 0xd012 5", "inb 0xd011"}));
  EXPECT_TRUE(ports.installed());
  EXPECT_TRUE(kernel.warnings.empty());
}

TEST_F(Fallback, StandardAddressWhenTheKernelKnowsNoPort) {
  ports.write(kData, 2);
  EXPECT_EQ(kernel.io[0x378], 2);
  EXPECT_EQ(ports.access_of(0), Access::kRaw);
}

TEST_F(Fallback, RawIoWhenTheNodeCannotBeOpened) {
  kernel.add_port(0, 0x378);
  node(0).open_error = EACCES;
  ports.write(kData, 7);
  EXPECT_EQ(kernel.io[0x378], 7);
}

TEST_F(Fallback, BusyPortIsNotTakenByRawIo) {
  kernel.add_port(0, 0x378);
  node(0).claim_error = ENXIO;
  ports.write(kData, 7);
  EXPECT_EQ(kernel.count("ioperm"), 0u);
  EXPECT_EQ(kernel.count("close /dev/parport0"), 1u);
  EXPECT_EQ(ports.access_of(0), Access::kNone);
  EXPECT_TRUE(warned("/dev/parport0"));
  EXPECT_TRUE(warned("lp"));
}

// Whoever is registered on the port, as the kernel lists it, keeps the port: the claim
// fails, or, without ppdev, raw I/O is not used; the message says who it is.
TEST(Holders, PortRegisteredToAnotherIsNeverTakenAndTheMessageSaysWho) {
  const struct {
    const char* holder;
    const char* said;
  } holders[] = {{"lp", "the kernel driver lp holds it"}, {"ppdev0", "another program holds it"}};
  for (const auto& h : holders) {
    for (const bool with_ppdev : {true, false}) {
      SCOPED_TRACE(std::string(h.holder) + (with_ppdev ? " with ppdev" : " without ppdev"));
      FakeKernel kernel;
      kernel.root_user = true;
      if (with_ppdev) {
        kernel.add_port(0, 0x378);
        kernel.nodes.at("/dev/parport0").claim_error = ENXIO;
      } else {
        kernel.add_proc_entry(0, "888\t1912\n");
      }
      kernel.add_holder(0, h.holder);
      ParallelPorts ports{kernel};
      ports.write(kData, 7);
      EXPECT_FALSE(ports.installed());
      EXPECT_EQ(kernel.count("ioperm"), 0u);
      EXPECT_TRUE(kernel.io.empty());
      ASSERT_EQ(kernel.warnings.size(), 1u);
      EXPECT_NE(kernel.warnings[0].find(h.said), std::string::npos) << kernel.warnings[0];
      EXPECT_EQ(kernel.warnings[0].find(h.holder == std::string("lp") ? "another" : "ppdev0"),
                std::string::npos);
    }
  }
}

TEST_F(Fallback, NoRawIoAtAGuessedAddress) {
  kernel.add_proc_entry(0, "0\t0\n");
  ports.write(kData, 7);
  EXPECT_EQ(kernel.count("ioperm"), 0u);
  EXPECT_TRUE(kernel.io.empty());
}

TEST_F(Fallback, RawControlWritesKeepDirectionAndInterruptBitsClear) {
  ports.write(kControl, 0x3F);
  EXPECT_EQ(kernel.io[0x37A], 0x0F);
}

TEST_F(Fallback, EveryThreadGetsItsOwnRawPermission) {
  ports.write(kData, 1);
  std::thread other([this] {
    ports.write(kData, 2);
    ports.read(kStatus);
    EXPECT_TRUE(ports.installed());
  });
  other.join();
  ports.write(kData, 3);
  EXPECT_EQ(kernel.violations, 0);
  EXPECT_EQ(kernel.count("ioperm"), 2u);
  EXPECT_EQ(kernel.io[0x378], 3);
}

TEST_F(Fallback, ControlReadsGiveTheFourLinesAsThroughPpdev) {
  kernel.io[0x37A] = 0xCC;  // unused bits read as 1 on many ports
  EXPECT_EQ(ports.read(kControl), 0x0C);
  uint32_t dword = 0;
  ports.locked([&](port_ops::Bytes& bytes) { dword = port_ops::read_dword(bytes, kData); });
  EXPECT_EQ(dword >> 16, 0xFF0Cu);
}

// ---- No access at all ----

using NoAccess = Ports;

TEST_F(NoAccess, WarnsOnceNamingTheDeviceAndItsGroup) {
  kernel.add_port(0, 0x378);
  node(0).open_error = EACCES;
  kernel.groups["/dev/parport0"] = "lp";
  kernel.ioperm_error = EPERM;
  for (int i = 0; i < 100; ++i) ports.write(kData, 1);
  ASSERT_EQ(kernel.warnings.size(), 1u);
  EXPECT_TRUE(warned("/dev/parport0"));
  EXPECT_TRUE(warned("group \"lp\""));
  EXPECT_TRUE(warned("root"));
  EXPECT_EQ(kernel.count("open "), 1u);
  EXPECT_EQ(kernel.count("ioperm"), 1u);
}

TEST_F(NoAccess, NodeOnlyItsOwnerMayOpenSaysHowToShareIt) {
  kernel.add_port(0, 0x378);
  node(0).open_error = EACCES;  // root:root 0600, as devtmpfs makes it without udev
  kernel.ioperm_error = EPERM;
  ports.write(kData, 1);
  EXPECT_TRUE(warned("only its owner"));
  EXPECT_TRUE(warned("udev"));
  EXPECT_TRUE(warned("chmod 660 /dev/parport0"));
  EXPECT_FALSE(warned("group \""));
}

TEST_F(NoAccess, UserWhoIsNotRootIsToldRawIoNeedsRoot) {
  kernel.ioperm_error = ENOSYS;  // what a kernel without ioperm answers everyone
  ports.write(kData, 1);
  EXPECT_TRUE(warned("raw port I/O at 0x378 needs root"));
  EXPECT_TRUE(warned("ppdev and membership of group lp"));
  EXPECT_FALSE(warned("not available"));
}

TEST_F(NoAccess, RootOnAKernelWithoutIopermIsToldSo) {
  kernel.root_user = true;
  kernel.ioperm_error = ENOSYS;
  ports.write(kData, 1);
  EXPECT_TRUE(warned("not available on this machine"));
  EXPECT_FALSE(warned("needs root"));
}

TEST_F(NoAccess, MissingNodeNamesPpdev) {
  kernel.ioperm_error = EPERM;
  ports.read(kStatus);
  EXPECT_TRUE(warned("/dev/parport0 does not exist"));
  EXPECT_TRUE(warned("ppdev"));
}

TEST_F(NoAccess, BehavesLikeAnIdlePort) {
  kernel.ioperm_error = EPERM;
  EXPECT_FALSE(ports.installed());
  const size_t attempts = kernel.calls().size();
  ports.write(kData, 0xFF);
  ports.write(kControl, 7);
  EXPECT_EQ(ports.read(kStatus), parport::kIdleStatus);
  EXPECT_EQ(ports.read(kData), 0);
  EXPECT_EQ(ports.read(kControl), 0);
  EXPECT_FALSE(ports.installed());
  EXPECT_EQ(kernel.calls().size(), attempts);
  EXPECT_EQ(kernel.warnings.size(), 1u);
}

TEST_F(NoAccess, PortLostAfterTheClaimReadsIdle) {
  kernel.add_port(0, 0x378);
  node(0).status = 0x00;
  ports.write(kData, 1);
  node(0).ioctl_error = ENODEV;
  EXPECT_EQ(ports.read(kStatus), parport::kIdleStatus);
  const size_t after = kernel.calls().size();
  ports.write(kData, 2);
  EXPECT_EQ(ports.read(kStatus), parport::kIdleStatus);
  EXPECT_EQ(kernel.calls().size(), after);
  EXPECT_EQ(kernel.count("close /dev/parport0"), 1u);
  EXPECT_EQ(kernel.warnings.size(), 1u);
  EXPECT_TRUE(warned("lost"));
}

// ---- Several bytes as one operation ----

TEST_F(Ports, LockedBytesReachTheSameRegistersAsSingleAccesses) {
  kernel.add_port(0, 0x378);
  node(0).status = 0x28;
  uint16_t read = 0;
  ports.locked([&](port_ops::Bytes& bytes) {
    port_ops::write_dword(bytes, kData, 0x04030201);
    read = port_ops::read_word(bytes, kStatus);
  });
  EXPECT_EQ(node(0).data, 1);
  EXPECT_EQ(node(0).control, 3);
  EXPECT_EQ(read, 0x0328);
}

}  // namespace
