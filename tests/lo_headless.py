"""LibreOffice headless for the checkers and benchmarks: a conversion run with a profile of its
own, and a live office reached through UNO that is stopped with every process it started.

Scripts elsewhere import it after adding this folder to sys.path:
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "<to>/tests"))
"""
import contextlib
import os
import shutil
import subprocess
import tempfile
import time


def soffice(workdir, args, timeout=300):
    """Runs soffice --headless with the profile WORKDIR/lo-profile and ARGS (e.g. --convert-to ...).
    Returns (exit code, stdout, stderr)."""
    profile = "file://" + os.path.join(os.path.abspath(workdir), "lo-profile")
    done = subprocess.run(["soffice", "--headless", "--norestore", "-env:UserInstallation=" + profile] + list(args),
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")


def prop(name, value):
    """A UNO PropertyValue."""
    import uno  # noqa: F401 - makes the com.sun.star modules importable
    from com.sun.star.beans import PropertyValue
    p = PropertyValue()
    p.Name, p.Value = name, value
    return p


def _connect(pipe, proc):
    import uno
    from com.sun.star.connection import NoConnectException
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
    deadline = time.time() + 120
    while True:
        try:
            return resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
        except NoConnectException:
            if proc.poll() is not None or time.time() > deadline:
                raise
            time.sleep(0.3)


def _stop_leftovers(pipe):
    # soffice may hand the work to a child that outlives it: stop the processes that carry our
    # own pipe name, by their ids.
    deadline = time.time() + 20
    while True:
        left = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    if ("name=%s;" % pipe).encode() in f.read() and int(pid) != os.getpid():
                        left.append(int(pid))
            except OSError:
                pass
        if not left:
            return
        if time.time() > deadline:
            for pid in left:
                try:
                    os.kill(pid, 9)
                except OSError:
                    pass
            return
        time.sleep(0.5)


@contextlib.contextmanager
def office(name):
    """Starts LibreOffice headless with a fresh private profile, listening on a pipe named after
    NAME and this process; yields (component context, desktop). On leaving, the office is told to
    end, given a minute, killed otherwise; whatever still carries the pipe name is stopped and the
    profile removed."""
    profile = tempfile.mkdtemp(prefix="kv-lo-%s-" % name)
    pipe = "kv%s%d" % (name, os.getpid())
    proc = subprocess.Popen(["soffice", "--headless", "--invisible", "--norestore", "--nologo",
                             "-env:UserInstallation=file://" + profile, "--accept=pipe,name=%s;urp;" % pipe],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        ctx = _connect(pipe, proc)
        desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
        yield ctx, desktop
        try:
            desktop.terminate()
        except Exception:  # noqa: BLE001 - the bridge goes down with the office
            pass
    finally:
        try:
            proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
        _stop_leftovers(pipe)
        shutil.rmtree(profile, ignore_errors=True)
