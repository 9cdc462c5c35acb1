"""A pymodbus RTU slave on a serial device (one end of a socat pseudo-terminal pair), used as
an independent peer for the service tool's Modbus master.

usage: pymodbus_slave.py DEVICE STATION
Holding register 10 = 0x1234, 11 = 0x0001, 20..21 = the float 2.5 low word first,
input register 30 = 0xFFFE, 31 = 0x7FFF, coil 5 on. Prints "ready" once serving.
Exits 77 when pymodbus or pyserial is missing.
"""
import struct
import sys
import threading

try:
    from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                    ModbusSlaveContext)
    from pymodbus.server import StartSerialServer
    from pymodbus.transaction import ModbusRtuFramer
    import serial  # noqa: F401  (pymodbus needs it for serial servers)
except ImportError as error:
    print("missing: %s" % error, flush=True)
    sys.exit(77)


def main():
    device, station = sys.argv[1], int(sys.argv[2])
    holding = [0] * 200
    holding[10], holding[11] = 0x1234, 0x0001
    low, high = struct.unpack("<HH", struct.pack("<f", 2.5))
    holding[20], holding[21] = low, high
    inputs = [0] * 200
    inputs[30], inputs[31] = 0xFFFE, 0x7FFF
    coils = [False] * 200
    coils[5] = True
    slave = ModbusSlaveContext(di=ModbusSequentialDataBlock(0, [False] * 200),
                               co=ModbusSequentialDataBlock(0, coils),
                               hr=ModbusSequentialDataBlock(0, holding),
                               ir=ModbusSequentialDataBlock(0, inputs),
                               zero_mode=True)
    context = ModbusServerContext(slaves={station: slave}, single=False)
    # Tell the test we are about to serve; the serial server opens the device at once.
    threading.Timer(0.3, lambda: print("ready", flush=True)).start()
    StartSerialServer(context=context, framer=ModbusRtuFramer, port=device, baudrate=19200,
                      timeout=0.005)


if __name__ == "__main__":
    main()
