-- N-body simulation of the outer planets: float arithmetic on object fields.
local PI = 3.141592653589793
local SOLAR_MASS = 4.0 * PI * PI
local DAYS_PER_YEAR = 365.24

local function fmt(x)
    local s = string.format("%g", x)
    if not s:find(".", 1, true) then s = s .. ".0" end
    return s
end

local function body(x, y, z, vx, vy, vz, mass)
    return {
        x = x, y = y, z = z,
        vx = vx * DAYS_PER_YEAR, vy = vy * DAYS_PER_YEAR, vz = vz * DAYS_PER_YEAR,
        mass = mass * SOLAR_MASS,
    }
end

local function advance(bodies, dt)
    local n = #bodies
    for i = 1, n do
        local bi = bodies[i]
        for j = i + 1, n do
            local bj = bodies[j]
            local dx = bi.x - bj.x
            local dy = bi.y - bj.y
            local dz = bi.z - bj.z
            local d2 = dx * dx + dy * dy + dz * dz
            local mag = dt / (d2 * math.sqrt(d2))
            local bm = bj.mass * mag
            bi.vx = bi.vx - dx * bm
            bi.vy = bi.vy - dy * bm
            bi.vz = bi.vz - dz * bm
            bm = bi.mass * mag
            bj.vx = bj.vx + dx * bm
            bj.vy = bj.vy + dy * bm
            bj.vz = bj.vz + dz * bm
        end
    end
    for i = 1, n do
        local b = bodies[i]
        b.x = b.x + dt * b.vx
        b.y = b.y + dt * b.vy
        b.z = b.z + dt * b.vz
    end
end

local function energy(bodies)
    local e = 0.0
    local n = #bodies
    for i = 1, n do
        local bi = bodies[i]
        e = e + 0.5 * bi.mass * (bi.vx * bi.vx + bi.vy * bi.vy + bi.vz * bi.vz)
        for j = i + 1, n do
            local bj = bodies[j]
            local dx = bi.x - bj.x
            local dy = bi.y - bj.y
            local dz = bi.z - bj.z
            e = e - bi.mass * bj.mass / math.sqrt(dx * dx + dy * dy + dz * dz)
        end
    end
    return e
end

local function offsetMomentum(bodies)
    local px, py, pz = 0.0, 0.0, 0.0
    for i = 1, #bodies do
        local b = bodies[i]
        px = px + b.vx * b.mass
        py = py + b.vy * b.mass
        pz = pz + b.vz * b.mass
    end
    local sun = bodies[1]
    sun.vx = 0.0 - px / SOLAR_MASS
    sun.vy = 0.0 - py / SOLAR_MASS
    sun.vz = 0.0 - pz / SOLAR_MASS
end

local function main()
    local bodies = {
        body(0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0),
        body(4.84143144246472090, -1.16032004402742839, -0.103622044471123109,
             0.00166007664274403694, 0.00769901118419740425, -0.0000690460016972063023,
             0.000954791938424326609),
        body(8.34336671824457987, 4.12479856412430479, -0.403523417114321381,
             -0.00276742510726862411, 0.00499852801234917238, 0.0000230417297573763929,
             0.000285885980666130812),
        body(12.8943695621391310, -15.1111514016986312, -0.223307578892655734,
             0.00296460137564761618, 0.00237847173959480950, -0.0000296589568540237556,
             0.0000436624404335156298),
        body(15.3796971148509165, -25.9193146099879641, 0.179258772950371181,
             0.00268067772490389322, 0.00162824170038242295, -0.0000951592254519715870,
             0.0000515138902046611451),
    }
    offsetMomentum(bodies)
    print(fmt(energy(bodies)))
    for _ = 1, 100000 do
        advance(bodies, 0.01)
    end
    print(fmt(energy(bodies)))
end
main()
