"""pymodbus as the master against our simulated drive program on a pseudo-terminal, so that
our master and our simulator cannot share one misunderstanding of the protocol.

usage: pymodbus_client.py SIMDRIVE_PROGRAM
Exit 0 when every check passes, 1 on a failed check, 77 when pymodbus or pyserial is missing.
"""
import struct
import subprocess
import sys

try:
    from pymodbus.client import ModbusSerialClient
    from pymodbus.mei_message import ReadDeviceInformationRequest
    from pymodbus.transaction import ModbusRtuFramer
    import serial  # noqa: F401
except ImportError as error:
    print("skipped, missing: %s" % error)
    sys.exit(77)

failures = []


def check(what, condition):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


def main():
    drive = subprocess.Popen(
        [sys.argv[1], "--stations", "1,9", "--product", "KV200", "--vendor", "Kestravel",
         "--revision", "3.04", "--holding", "1:10=4660", "--holding", "1:11=1",
         "--input", "1:30=65534", "--coil", "1:5=1", "--quiet"],
        stdout=subprocess.PIPE, text=True)
    try:
        path = drive.stdout.readline().strip()
        check("the drive prints its pseudo-terminal", path.startswith("/dev/pts/"))
        client = ModbusSerialClient(port=path, framer=ModbusRtuFramer, baudrate=19200, timeout=1)
        check("connect", client.connect())

        r = client.read_holding_registers(10, 2, slave=1)
        check("function 3", not r.isError() and r.registers == [0x1234, 1])
        r = client.read_input_registers(30, 1, slave=1)
        check("function 4, input registers apart", not r.isError() and r.registers == [0xFFFE])
        r = client.read_holding_registers(30, 1, slave=1)
        check("holding register 30 is another register", not r.isError() and r.registers == [0])
        r = client.read_coils(5, 1, slave=1)
        check("function 1", not r.isError() and r.bits[0] is True)

        r = client.write_register(40, 0x0D11, slave=1)
        check("function 6", not r.isError())
        r = client.read_holding_registers(40, 1, slave=1)
        check("function 6 landed", not r.isError() and r.registers == [0x0D11])
        r = client.write_registers(50, [0x0003, 0x7F13, 0xFFFF], slave=9)
        check("function 16", not r.isError())
        r = client.read_holding_registers(50, 3, slave=9)
        check("function 16 landed", not r.isError() and r.registers == [0x0003, 0x7F13, 0xFFFF])
        r = client.write_coil(7, True, slave=1)
        check("function 5", not r.isError())
        r = client.read_coils(5, 3, slave=1)
        check("function 5 landed", not r.isError() and r.bits[:3] == [True, False, True])

        r = client.read_holding_registers(0, 126, slave=1)
        check("exception reply for 126 registers", r.isError() and getattr(r, "exception_code", 0) == 3)
        r = client.read_discrete_inputs(0, 1, slave=1)
        check("exception reply for an unserved function", r.isError() and getattr(r, "exception_code", 0) == 1)

        r = client.execute(ReadDeviceInformationRequest(read_code=1, object_id=0, unit=1))
        ok = not r.isError()
        if ok:
            info = {k: (v.decode() if isinstance(v, bytes) else v) for k, v in r.information.items()}
            check("function 43/14 objects", info == {0: "Kestravel", 1: "KV200", 2: "3.04"})
            check("function 43/14 conformity level 2", r.conformity == 2)
        else:
            check("function 43/14", False)
        client.close()
    finally:
        drive.terminate()
        try:
            drive.wait(timeout=5)
        except subprocess.TimeoutExpired:
            drive.kill()
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
